// Exit codes of display_child.exe, the helper process in which the display
// tests close windows, end processes and load libraries.
#pragma once

enum ChildExit : int {
    kChildOk = 0,                    // also what a closed window's process exits with
    kChildOpenFailed = 2,            // OpenDisplay returned false unexpectedly
    kChildSurvived = 3,              // a close request did not end the process
    kChildSetupFailed = 4,           // the system refused a precondition
    kChildSaverActiveWhileOpen = 5,  // the screen saver stayed on with the window open
    kChildSaverNotRestored = 6,      // CloseDisplay did not put the screen saver back as it was
    kChildOpenedWithoutDrawDib = 7,  // OpenDisplay succeeded although DrawDib is disabled
    kChildLoadedElsewhere = 8,       // the library came from outside the system folder
    kChildNotLoaded = 9,             // the library could not be loaded at all
    kChildPaintWithoutFrame = 10,    // a paint before the first frame validated the window
    kChildFrameNotPainted = 11,      // PresentFrame left the window invalid
    kChildOpenedWithoutWindow = 12,  // OpenDisplay succeeded although no window could be made
    kChildBadArguments = 64,
};
