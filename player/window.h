#pragma once
// The player's main window: looked up by its class before every command.
#include "host/win32.h"

// The window every handler and the report last looked up; they send to it right after.
extern HWND playerWindow;

HWND findPlayerWindow();
