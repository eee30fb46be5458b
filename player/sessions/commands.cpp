#include "player/sessions/commands.h"

#include "host/requests.h"
#include "mixer/endpoint.h"
#include "player/playbutton.h"
#include "player/sessions/api.h"
#include "player/sessions/job.h"
#include "player/winamp/commands.h"
#include "player/winamp/report.h"
#include "player/winamp/volume.h"
#include "settings/settings.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int64_t ticksPerMs = 10'000;
constexpr std::int64_t ticksPerSecond = 10'000'000;
// The line from a media session of Windows, whose player has no caption of its own.
constexpr std::string_view sessionNowPlayingFormat = ">%player%: %track%";

// The press on the session; Winamp's own press where there is none. A session that did not
// answer in time gets nothing more: the messenger has waited long enough.
void pressOrWinamp(SessionAction action, void (*winamps)()) {
  SessionAnswers answers;
  if (onSession(action, answers) == SessionEnd::none) winamps();
}

void stepVolume(std::int32_t byPercent, void (*winamps)()) {
  SessionAnswers answers;
  switch (onSession(SessionAction::find, answers)) {
  case SessionEnd::none:
    return winamps();
  case SessionEnd::done:
    stepEndpointVolume(byPercent);
    return;
  case SessionEnd::gaveUp:
    return;
  }
}

std::int32_t clampedToInt32(std::int64_t value) {
  return static_cast<std::int32_t>(
      std::min<std::int64_t>(value, std::numeric_limits<std::int32_t>::max()));
}

TrackInfoAnswers infoOf(const SessionAnswers &answers) {
  TrackInfoAnswers info;
  info.streamKnown = false;
  info.player = answers.program;
  if (answers.positionTicks >= 0)
    info.positionMs = clampedToInt32(answers.positionTicks / ticksPerMs);
  if (answers.lengthTicks > 0)
    info.lengthSeconds = clampedToInt32(answers.lengthTicks / ticksPerSecond);
  return info;
}

} // namespace

void sessionPreviousTrack() {
  pressOrWinamp(SessionAction::previousTrack, previousTrack);
}
void sessionNextTrack() {
  pressOrWinamp(SessionAction::nextTrack, nextTrack);
}
void sessionRewind5Seconds() {
  pressOrWinamp(SessionAction::rewind5Seconds, rewind5Seconds);
}
void sessionForward5Seconds() {
  pressOrWinamp(SessionAction::forward5Seconds, forward5Seconds);
}
void sessionVolumeDown() {
  stepVolume(-sessionVolumeStep, volumeDown);
}
void sessionVolumeUp() {
  stepVolume(sessionVolumeStep, volumeUp);
}

// A session's player has no dialog of ours to open: the press does nothing then.
void sessionOpenFiles() {
  pressOrWinamp(SessionAction::find, openFiles);
}

// A player tells its new status only a moment after the press: the look follows the status
// before it, turned over once the session took the press.
void sessionTogglePlay() {
  SessionAnswers answers;
  switch (onSession(SessionAction::togglePlay, answers)) {
  case SessionEnd::none:
    return togglePlay();
  case SessionEnd::done:
    if (!answers.pressTaken) return;
    if (answers.status == sessionapi::statusPlaying) return showPlayLook();
    return showPauseLook();
  case SessionEnd::gaveUp:
    return;
  }
}

ReportEnd sendSessionNowPlaying(std::int32_t contact) {
  SessionAnswers answers;
  switch (onSession(SessionAction::report, answers)) {
  case SessionEnd::none:
    return sendNowPlaying(contact);
  case SessionEnd::gaveUp:
    return ReportEnd::done;
  case SessionEnd::done:
    break;
  }
  // Without a title the session tells nothing worth a line. A contact learns only what plays:
  // the send button, pressed knowingly, sends a paused session's line too.
  if (answers.title.empty() || (contact != 0 && answers.status != sessionapi::statusPlaying))
    return ReportEnd::done;
  std::string track =
      answers.artist.empty() ? answers.title : answers.artist + " - " + answers.title;
  std::string_view format = settings.nowplayingFormat;
  if (format.empty()) format = sessionNowPlayingFormat;
  std::int32_t recipient = contact != 0 ? contact : getChatContact();
  sendMessage(recipient, fillNowPlaying(track, infoOf(answers), format));
  return ReportEnd::done;
}
