#pragma once
// The name of the program behind a session, as a person knows it: Windows' own name for its app
// id where Windows gives one, else one made from the id.
#include "host/win32.h"

#include <string>
#include <string_view>

// The name the Apps folder shows for the app id ("Media Player", "Firefox"); empty where
// Windows has none (before Windows 8, on Wine, for an id no app carries). Needs COM.
std::basic_string<WCHAR> appsFolderName(const std::basic_string<WCHAR> &appId);
// The name made from the app id alone: a path's file without ".exe" ("Spotify" for
// "Spotify.exe"), a packaged app's part after its "!", or its package's name where that part
// is only "App"; "Player" where nothing is left, or the id is only a hash (16 hexadecimal
// digits, as Firefox's). Touches no Win32.
std::basic_string<WCHAR> programName(std::basic_string_view<WCHAR> appId);
// Windows' name, else the one made from the id.
std::basic_string<WCHAR> displayName(const std::basic_string<WCHAR> &appId);
