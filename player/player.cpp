#include "player/player.h"

#include "player/aimp/commands.h"
#include "player/aimp/report.h"
#include "player/aimp/window.h"
#include "player/send.h"
#include "player/sessions/commands.h"
#include "player/sessions/worker.h"
#include "player/winamp/commands.h"
#include "player/winamp/report.h"
#include "player/winamp/volume.h"
#include "player/winamp/window.h"
#include "settings/settings.h"

namespace {

constexpr PlayerActions winamp{previousTrack,   nextTrack,  rewind5Seconds,
                               forward5Seconds, togglePlay, openFiles,
                               volumeDown,      volumeUp,   sendNowPlaying};

constexpr PlayerActions aimp{aimpPreviousTrack,   aimpNextTrack,  aimpRewind5Seconds,
                             aimpForward5Seconds, aimpTogglePlay, aimpOpenFiles,
                             aimpVolumeDown,      aimpVolumeUp,   sendAimpNowPlaying};

constexpr PlayerActions sessions{sessionPreviousTrack,   sessionNextTrack,  sessionRewind5Seconds,
                                 sessionForward5Seconds, sessionTogglePlay, sessionOpenFiles,
                                 sessionVolumeDown,      sessionVolumeUp,   sendSessionNowPlaying};

const PlayerActions &firstRunning() {
  if (HWND window = findPlayerWindow()) return isAimpsImitation(window) ? aimp : winamp;
  return findAimpWindow() ? aimp : sessions;
}

} // namespace

PlayerChoice playerChoice(std::string_view value) {
  if (value == "winamp") return PlayerChoice::winamp;
  if (value == "aimp") return PlayerChoice::aimp;
  if (value == "smtc") return PlayerChoice::sessions;
  return PlayerChoice::automatic;
}

const PlayerActions &chosenPlayer() {
  switch (playerChoice(settings.player)) {
  case PlayerChoice::winamp:
    return winamp;
  case PlayerChoice::aimp:
    return aimp;
  case PlayerChoice::sessions:
    return sessions;
  case PlayerChoice::automatic:
    break;
  }
  return firstRunning();
}

void stopPlayerWork() {
  stopWorker(playerTimeoutMs);
}
