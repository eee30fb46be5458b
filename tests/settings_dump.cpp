// Prints the settings as the plug-in reads them from .\plugins\QUIB_Ctl.ini below the current
// folder, one "field value" line each. The release check runs it in the unpacked archive, so
// the example settings file is read where, and as, the plug-in reads it.
#include "settings/settings.h"

#include <cstdint>
#include <cstdio>
#include <utility>

int main() {
  parseSettings(readSettingsFile());
  const std::pair<const char *, std::int32_t> switches[] = {
      {"buttonSend", settings.buttonSend}, {"buttonPrev", settings.buttonPrev},
      {"buttonRew", settings.buttonRew},   {"buttonPlay", settings.buttonPlay},
      {"buttonFwd", settings.buttonFwd},   {"buttonNext", settings.buttonNext},
      {"buttonOpen", settings.buttonOpen}, {"buttonMute", settings.buttonMute},
      {"buttonVDn", settings.buttonVDn},   {"buttonVUp", settings.buttonVUp},
  };
  for (const auto &[name, value] : switches) std::printf("%s %d\n", name, int{value});
  std::printf("autoanswerKey %s\n", settings.autoanswerKey.c_str());
  std::printf("customPlayer %s\n", settings.customPlayer.c_str());
  std::printf("nowplayingFormat %s\n", settings.nowplayingFormat.c_str());
  std::printf("player %s\n", settings.player.c_str());
  return 0;
}
