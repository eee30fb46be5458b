#include "player/winamp/launch.h"

#include "player/launch.h"
#include "player/send.h"
#include "player/winamp/volume.h"
#include "player/winamp/window.h"
#include "settings/settings.h"

#include <string>

namespace {

constexpr const char *openCommandKey = "Winamp.File\\Shell\\open\\command";
constexpr std::int32_t launchVolume = 200;
// Where Winamp installs by default, which the default player path misses where %ProgramFiles% is
// Program Files (x86).
constexpr const char *programFilesPlayerPath = "%ProgramFiles%\\Winamp\\Winamp.exe";

std::string candidatePath() {
  if (fileExists(settings.customPlayer)) return settings.customPlayer;
  std::string installed = expandedPath(programFilesPlayerPath);
  if (installed != settings.customPlayer && fileExists(installed)) return installed;
  return programPathOf(readPlayerOpenCommand(), fileExists);
}

} // namespace

HWND acquirePlayerWindow() {
  if (HWND window = findPlayerWindow()) return window;
  HWND window = startPlayer(candidatePath(), findPlayerWindow);
  if (!window) return nullptr;
  // A player that starts with higher rights takes none of this press's messages, its volume
  // neither: the level stays as it was.
  if (refusedAndTold(raiseVolumeFrom(launchVolume))) return nullptr;
  return window;
}

std::string readPlayerOpenCommand() {
  return readOpenCommand(openCommandKey);
}
