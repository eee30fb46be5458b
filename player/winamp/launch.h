#pragma once
// Winamp's window, starting Winamp when it is not there.
#include "host/win32.h"

#include <string>

// The player's window, starting the player when needed; 0 after a box told the user why not.
HWND acquirePlayerWindow();
// Winamp's registered open command.
std::string readPlayerOpenCommand();
