#include "player/player.h"

#include "player/aimp.h"
#include "player/aimpreport.h"
#include "player/aimpwindow.h"
#include "player/commands.h"
#include "player/volume.h"
#include "player/window.h"
#include "settings/settings.h"

namespace {

constexpr PlayerActions winamp{previousTrack,   nextTrack,  rewind5Seconds,
                               forward5Seconds, togglePlay, openFiles,
                               volumeDown,      volumeUp,   sendNowPlaying};

constexpr PlayerActions aimp{aimpPreviousTrack,   aimpNextTrack,  aimpRewind5Seconds,
                             aimpForward5Seconds, aimpTogglePlay, aimpOpenFiles,
                             aimpVolumeDown,      aimpVolumeUp,   sendAimpNowPlaying};

const PlayerActions &firstRunning() {
  if (HWND window = findPlayerWindow()) return isAimpsImitation(window) ? aimp : winamp;
  return findAimpWindow() ? aimp : winamp;
}

} // namespace

PlayerChoice playerChoice(std::string_view value) {
  if (value == "winamp") return PlayerChoice::winamp;
  if (value == "aimp") return PlayerChoice::aimp;
  return PlayerChoice::automatic;
}

const PlayerActions &chosenPlayer() {
  switch (playerChoice(settings.player)) {
  case PlayerChoice::winamp:
    return winamp;
  case PlayerChoice::aimp:
    return aimp;
  case PlayerChoice::automatic:
    break;
  }
  return firstRunning();
}
