#pragma once
// The louder and quieter buttons, over the plug-in's own idea of the player volume.
#include "player/send.h"

#include <cstdint>

// 0 to 255; the player is never asked for it.
extern std::int32_t volumeLevel;

std::int32_t louder(std::int32_t level);
std::int32_t quieter(std::int32_t level);

// One step louder than the given level, without telling the user when the player refuses it;
// the level follows only when the player took the volume.
PlayerReply raiseVolumeFrom(std::int32_t level);
void volumeUp();
void volumeDown();
