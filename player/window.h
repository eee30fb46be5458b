#pragma once
// The player's main window: Winamp's and AIMP's handlers look it up before every command.
#include "host/win32.h"

// The window every handler and the report last looked up; they send to it right after.
extern HWND playerWindow;
