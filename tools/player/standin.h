#pragma once
// What the stand-in player understands beyond the player's own messages.
#include <windows.h>

// WM_USER request (in lParam) that blocks the player's window thread for wParam
// milliseconds: a player that hangs, for the messenger's tests.
inline constexpr LPARAM standinBlockRequest = 0x5B10;
