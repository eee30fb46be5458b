#pragma once
// Starting a player when its window is not there, and finding the program to start: what
// Winamp's and AIMP's launches share.
#include "host/win32.h"

#include <string>
#include <string_view>

// Starts the program at the path and waits for the lookup to find its window; 0 after a box told
// the user that the program is not there or did not come up.
HWND startPlayer(const std::string &path, HWND (*lookup)());
bool fileExists(const std::string &path);
// The registered open command of any key under HKEY_CLASSES_ROOT.
std::string readOpenCommand(const char *key);
// The path with its environment variables expanded; empty when that fails or does not fit.
std::string expandedPath(const char *pattern);
// The program named by a registered open command such as "C:\Player\player.exe" "%1".
std::string programPathOf(std::string_view command, bool (*isFile)(const std::string &));
