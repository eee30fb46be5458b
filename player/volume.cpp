#include "player/volume.h"

#include "player/messages.h"
#include "player/window.h"

std::int32_t volumeLevel = 0;

namespace {

constexpr std::int32_t volumeStep = 25;
constexpr std::int32_t volumeMax = 255; // the player takes its volume in 0 - 255

void setVolume(std::int32_t level) {
  playerWindow = findPlayerWindow();
  volumeLevel = level;
  sendToPlayer(playerWindow, WM_USER, static_cast<WPARAM>(volumeLevel), requestSetVolume);
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

void volumeUp() {
  setVolume(louder(volumeLevel));
}
void volumeDown() {
  setVolume(quieter(volumeLevel));
}
