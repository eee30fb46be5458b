#pragma once
// The mute button: switches the default playback endpoint's mute through Core Audio, or,
// where that fails (Windows XP and older), the speakers' mute control of mixer device 0.
#include "host/win32.h"

// True while the plug-in has muted the speakers; the mixer itself is never asked.
extern bool muteState;

MMRESULT getMuteControl(UINT mixerId, MIXERCONTROLA &control);
// False, after an error box, when the mixer did not take the setting.
bool setMasterMute(UINT mixerId, bool mute);
void toggleMute();
