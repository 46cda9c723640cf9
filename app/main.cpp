// The program entry: no arguments, no files; exit code 0 in every case.
#include <windows.h>

#include "app/animation.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // No system error boxes: a missing drive or a crash must not stop on a dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    RunAnimation();
    return 0;
}
