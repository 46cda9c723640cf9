/* A stand-in msvfw32.dll planted beside a program: when loaded it creates the
   file named by NOISE_PLANTED_MARKER, so a test can tell that it ran. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH];
        DWORD length = GetEnvironmentVariableA("NOISE_PLANTED_MARKER", path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            HANDLE file =
                CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    return TRUE;
}
