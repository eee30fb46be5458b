#include "player/aimp/commands.h"

#include "player/aimp/window.h"
#include "player/playbutton.h"
#include "player/window.h"

#include <algorithm>
#include <limits>

namespace {

constexpr std::int32_t skipMs = 5000;
constexpr std::int32_t volumeMax = 100;

PlayerReply command(AimpCommand number) {
  return sendToPlayer(playerWindow, aimpCommandMessage, number, 0);
}

void trackCommand(AimpCommand number) {
  playerWindow = acquireAimpWindow();
  if (playerWindow) refusedAndTold(command(number));
}

// A property AIMP answered; nothing when it did not answer or refused (which the user is told).
bool answered(const PlayerReply &reply) {
  return !refusedAndTold(reply) && reply.answered;
}

void skip(std::int32_t by) {
  playerWindow = findAimpWindow();
  if (!playerWindow) return;
  PlayerReply position = askAimp(aimpPosition);
  if (!answered(position)) return;
  PlayerReply duration = askAimp(aimpDuration);
  if (!answered(duration)) return;
  refusedAndTold(
      setAimp(aimpPosition, skippedPosition(static_cast<std::int32_t>(position.value),
                                            static_cast<std::int32_t>(duration.value), by)));
}

// AIMP's own volume, read afresh at each press, so that its slider moves from where the user
// left it.
void stepVolume(std::int32_t by) {
  playerWindow = findAimpWindow();
  if (!playerWindow) return;
  PlayerReply volume = askAimp(aimpVolume);
  if (!answered(volume)) return;
  refusedAndTold(setAimp(aimpVolume, steppedVolume(static_cast<std::int32_t>(volume.value), by)));
}

} // namespace

void aimpPreviousTrack() {
  trackCommand(aimpCommandPrevious);
}
void aimpNextTrack() {
  trackCommand(aimpCommandNext);
}
void aimpRewind5Seconds() {
  skip(-skipMs);
}
void aimpForward5Seconds() {
  skip(skipMs);
}
void aimpVolumeDown() {
  stepVolume(-aimpVolumeStep);
}
void aimpVolumeUp() {
  stepVolume(aimpVolumeStep);
}

void aimpTogglePlay() {
  playerWindow = acquireAimpWindow();
  if (!playerWindow) return;
  PlayerReply state = askAimp(aimpState);
  // A refusing player changed nothing: the button keeps its look.
  if (refusedAndTold(state)) return;
  if (state.value == aimpPlaying) {
    if (!refusedAndTold(command(aimpCommandPause))) showPlayLook();
    return;
  }
  if (!refusedAndTold(command(aimpCommandPlay))) showPauseLook();
}

void aimpOpenFiles() {
  playerWindow = acquireAimpWindow();
  if (!playerWindow) return;
  // The dialog is the user's: its message comes back when they close it.
  if (refusedAndTold(
          sendToPlayerUnbounded(playerWindow, aimpCommandMessage, aimpCommandOpenFiles, 0)))
    return;
  showPauseLook();
}

std::int32_t skippedPosition(std::int32_t position, std::int32_t duration, std::int32_t by) {
  std::int64_t upper = duration > 0 ? duration : std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(std::int64_t{position} + by, 0, upper));
}

std::int32_t steppedVolume(std::int32_t volume, std::int32_t by) {
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(std::int64_t{volume} + by, 0, volumeMax));
}
