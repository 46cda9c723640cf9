// The program's main procedure: start-up and the endless frame loop.
#pragma once

// Allocates the frame buffers, builds every table, opens the display and
// then renders and presents frames without end, putting the measured frame
// rate in the title about every two seconds. Returns only when the buffers
// cannot be allocated or the display cannot be opened; the process otherwise
// ends from the window procedure when the window is closed.
void RunAnimation();
