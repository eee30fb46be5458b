#pragma once
// The settings file: key=value lines that switch the buttons on and name the keyword, the
// player program, the player to drive and the shape of the now-playing line.
#include <cstdint>
#include <string>
#include <string_view>

struct Settings {
  // Switches: 0 is off, the parser stores -1 for on, and any other value reads as on.
  std::int32_t buttonSend = 0;
  std::int32_t buttonPrev = 0;
  std::int32_t buttonRew = 0;
  std::int32_t buttonPlay = 0;
  std::int32_t buttonFwd = 0;
  std::int32_t buttonNext = 0;
  std::int32_t buttonOpen = 0;
  std::int32_t buttonMute = 0;
  std::int32_t buttonVUp = 0;
  std::int32_t buttonVDn = 0;
  std::string autoanswerKey;
  std::string customPlayer;
  // Empty: the line as it has always been.
  std::string nowplayingFormat;
  // "winamp", "aimp", or anything else, empty included, for the first player that runs.
  std::string player;
};

extern Settings settings;

// Relative to the messenger's current folder, which is not always the messenger's own.
inline constexpr const char *settingsPath = ".\\plugins\\QUIB_Ctl.ini";
// In the folder of the plug-in's own DLL, read when the file above cannot be opened; in the
// layout the release installs, the two are one file.
inline constexpr std::wstring_view settingsFileName = L"QUIB_Ctl.ini";
inline constexpr const char *defaultPlayer = "C:\\Program Files\\Winamp\\Winamp.exe";

// The whole settings file as the parser reads it (settingsTextOf), or the empty text when it
// cannot be opened or read: the file at settingsPath, else the one beside the DLL.
std::string readSettingsFile();
// A settings file's bytes as the text the parser reads, in the ANSI code page: a file that
// begins with the UTF-8 or the UTF-16LE byte-order mark, or whose bytes are valid UTF-8 with a
// character outside ASCII, is converted without its mark, the player's path without best fit
// (a character the code page lacks becomes '?'); any other is the text as it is.
std::string settingsTextOf(std::string bytes);
// The full name of the file beside the DLL when that is the one readSettingsFile reads (the
// file at settingsPath cannot be opened and this one can); empty otherwise. Wide, as the
// folder's name may hold characters outside the ANSI code page.
std::wstring settingsFileBesideDllInUse();
// Applies each line to the settings; keys the text lacks keep their values.
void parseSettings(std::string_view text);
// Cuts the part in front of the first separator off the front of s and returns it; without
// a separator the whole of s is returned and s becomes empty.
std::string_view splitOff(std::string_view separator, std::string_view &s);
bool isYes(std::string_view value);
