// What a process holds of the system's resources, for krvctl's checks of
// handles over many file dialogs.
#pragma once

#include <windows.h>

// Kernel handles the process holds, as the system's handle list counts them
// (Wine's own count of a process's handles is always 0), and how many of them
// are registry keys; its GDI and USER objects (Wine counts none).
struct ResourceCounts {
    DWORD handles = 0, keys = 0, gdi = 0, user = 0;
};

// Counts them for the process; false when the system's lists cannot be read.
bool CountResources(DWORD processId, ResourceCounts& counts);
