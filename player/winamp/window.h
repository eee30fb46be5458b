#pragma once
// Winamp's main window, found by its class.
#include "host/win32.h"

HWND findPlayerWindow();
