#pragma once
// The mute of the default playback endpoint through Core Audio (Windows Vista and later),
// where the mixer's controls reach only the messenger's own audio session; and its master
// volume.
#include <cstdint>

// False when Core Audio is missing, has no default playback device or refuses the setting:
// the caller then goes the mixer's way. Shows no box.
bool setEndpointMute(bool mute);
// Moves the endpoint's master volume by the given whole percent, within 0 and 100; false as for
// the mute.
bool stepEndpointVolume(std::int32_t byPercent);
