#pragma once
// The mute of the default playback endpoint through Core Audio (Windows Vista and later),
// where the mixer's controls reach only the messenger's own audio session.

// False when Core Audio is missing, has no default playback device or refuses the setting:
// the caller then goes the mixer's way. Shows no box.
bool setEndpointMute(bool mute);
