#pragma once
// What the stand-in players share: the request a test blocks a player with, the log that tests
// read, and the options from the command line or the environment.
#include <windows.h>

#include <string>
#include <vector>

// WM_USER request (in lParam) that blocks the player's window thread for wParam
// milliseconds: a player that hangs, for the messenger's tests.
inline constexpr LPARAM standinBlockRequest = 0x5B10;

// Blocks the window's thread for the milliseconds, logged after the request's head.
void blockFor(const std::string &head, WPARAM ms);
// The end of a stand-in's main window: WM_CLOSE logged and the window destroyed, the message
// loop ended with it; any other message to DefWindowProcA.
LRESULT closeOrDefault(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// The log: lines with the milliseconds since the start and the process id, written to stdout
// and, once opened, appended to the file, flushed line by line.
void openLog(const std::string &path);
void logLine(const std::string &text);
// Printable ASCII in quotes, anything else as hex, so the log stays plain ASCII.
std::string quoted(const std::string &bytes);
// Bytes from hex digits; false for an odd count or a non-digit.
bool fromHex(const std::string &digits, std::string &out);
// The words of STANDIN_PLAYER_OPTIONS (separated by spaces), then the command line's.
std::vector<std::string> options(int argc, char **argv);
