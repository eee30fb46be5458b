#pragma once
// What the script does besides the plug-in's events: runs the window's messages, waits for and
// closes other programs' windows, hangs the stand-in player, and asks the system.
#include <windows.h>

#include <string>

constexpr const char *playerClass = "Winamp v1.x";

// Runs the window's messages until the time is up or the window is closed.
void pump(DWORD ms);
// Waits for a top-level window of the class whose title contains the text (any title when
// the text is empty).
void waitWindow(const std::string &windowClass, const std::string &titlePart, DWORD ms);
void closeWindows(const std::string &windowClass);
void hangPlayer(DWORD ms);
// The speakers' mute control of mixer 0 as this process sees it: since Windows Vista, that of
// the messenger's own audio session.
void mixerMute();
// Notes where the messenger's window is on the screen.
void where();
// The system's comparison ignoring case, in the user's regional formats (locale 0) and in the
// system locale: where their code pages differ, so may the results.
void compareIgnoringCase(const std::string &a, const std::string &b);
