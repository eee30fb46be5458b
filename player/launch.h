#pragma once
// Starting the player when its window is not there, and finding the program to start.
#include "host/win32.h"

#include <string>
#include <string_view>

// The player's window, starting the player when needed; 0 after a box told the user why not.
HWND acquirePlayerWindow();
bool fileExists(const std::string &path);
std::string readPlayerOpenCommand();
// The program named by a registered open command such as "C:\Player\player.exe" "%1".
std::string programPathOf(std::string_view command, bool (*isFile)(const std::string &));
