#pragma once
// The eight player buttons.
#include "host/win32.h"

#include <cstdint>

// The plug-in's own idea of the player volume, 0 to 255; the player is never asked for it.
extern std::int32_t volumeLevel;

std::int32_t louder(std::int32_t level);
std::int32_t quieter(std::int32_t level);

void previousTrack();
void nextTrack();
void rewind5Seconds();
void forward5Seconds();
void volumeUp();
void volumeDown();
void togglePlay();
void openFiles();
