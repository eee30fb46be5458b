#pragma once
// AIMP: the plug-in sends its remote-control window ("AIMP2_RemoteInfo") commands and asks it
// for properties, and reads the current track from the memory block AIMP shares.
//
// The player buttons with AIMP, through its own commands and properties.
#include <cstdint>

void aimpPreviousTrack();
void aimpNextTrack();
void aimpRewind5Seconds();
void aimpForward5Seconds();
void aimpTogglePlay();
void aimpOpenFiles();
void aimpVolumeDown();
void aimpVolumeUp();

// AIMP's volume is 0 to 100; a press moves it by this much.
inline constexpr std::int32_t aimpVolumeStep = 10;

// The position skipped by the given milliseconds, kept within 0 and the duration; a duration
// of 0 or less is unknown and bounds nothing.
std::int32_t skippedPosition(std::int32_t position, std::int32_t duration, std::int32_t by);
// The volume stepped by the given amount, kept within 0 and 100.
std::int32_t steppedVolume(std::int32_t volume, std::int32_t by);
