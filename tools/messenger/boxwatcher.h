#pragma once
// A thread that finds the message boxes of this process, reports each one in the transcript
// (caption, text, style, icon, and whether the messenger's window is held by it) and closes
// it, so that a script never blocks on a modal box.
#include <windows.h>

// Each box is closed closeAfterMs after it was first seen.
void startBoxWatcher(HWND messengerWindow, DWORD closeAfterMs);
void stopBoxWatcher();
