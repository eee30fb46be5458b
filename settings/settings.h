#pragma once
// The settings file: key=value lines that switch the buttons on and name the keyword, the
// player program and the shape of the now-playing line.
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
};

extern Settings settings;

inline constexpr const char *settingsPath = ".\\plugins\\QUIB_Ctl.ini";
inline constexpr const char *defaultPlayer = "C:\\Program Files\\Winamp\\Winamp.exe";

// The whole settings file, or the empty text when it cannot be opened or read.
std::string readSettingsFile();
// Applies each line to the settings; keys the text lacks keep their values.
void parseSettings(std::string_view text);
// Cuts the part in front of the first separator off the front of s and returns it; without
// a separator the whole of s is returned and s becomes empty.
std::string_view splitOff(std::string_view separator, std::string_view &s);
bool isYes(std::string_view value);
