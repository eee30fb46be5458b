#include "tests/native_plugin.h"

#include "host/buttonids.h"
#include "host/requests.h"
#include "mixer/mute.h"
#include "player/winamp/volume.h"
#include "player/window.h"
#include "settings/settings.h"

void unloadNativePlugin() {
  hostCallback = nullptr;
  replyBuffer.clear();
  settings = Settings{};
  buttonIds.fill(0);
  playerWindow = nullptr;
  volumeLevel = 0;
  muteState = false;
}
