#pragma once
// Windows' media sessions (Windows 10 1809 and later): any player that shows itself in the
// system's media flyout, reached through the session manager of Windows' runtime on a worker
// thread of the plug-in's own, never on the messenger's.
//
// The player buttons and the report with a media session. Without a session to use each goes
// Winamp's way, as before: a press may start the configured player.
#include "player/nowplaying.h"

#include <cstdint>

void sessionPreviousTrack();
void sessionNextTrack();
void sessionRewind5Seconds();
void sessionForward5Seconds();
void sessionTogglePlay();
void sessionOpenFiles();
void sessionVolumeDown();
void sessionVolumeUp();
ReportEnd sendSessionNowPlaying(std::int32_t contact);

// The default playback device's master volume moves by this many percent a press.
inline constexpr std::int32_t sessionVolumeStep = 10;
