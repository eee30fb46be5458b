#include "player/winamp/volume.h"

#include "player/send.h"
#include "player/winamp/messages.h"
#include "player/winamp/window.h"
#include "player/window.h"

std::int32_t volumeLevel = 0;

namespace {

constexpr std::int32_t volumeStep = 25;
constexpr std::int32_t volumeMax = 255; // the player takes its volume in 0 - 255

// The level is the player's volume as the plug-in set it: a volume the player refused leaves
// it as it was.
PlayerReply setVolume(std::int32_t level) {
  playerWindow = findPlayerWindow();
  PlayerReply reply =
      sendToPlayer(playerWindow, WM_USER, static_cast<WPARAM>(level), requestSetVolume);
  if (!reply.refused) volumeLevel = level;
  return reply;
}

} // namespace

std::int32_t louder(std::int32_t level) {
  if (level + volumeStep > volumeMax) level = volumeMax - volumeStep;
  return level + volumeStep;
}

std::int32_t quieter(std::int32_t level) {
  level -= volumeStep;
  return level < 0 ? 0 : level;
}

PlayerReply raiseVolumeFrom(std::int32_t level) {
  return setVolume(louder(level));
}

void volumeUp() {
  refusedAndTold(raiseVolumeFrom(volumeLevel));
}
void volumeDown() {
  refusedAndTold(setVolume(quieter(volumeLevel)));
}
