#pragma once
// The now-playing line from AIMP.
#include "player/nowplaying.h"

#include <cstdint>

// Sends the line to the contact, or to the open chat for contact 0.
ReportEnd sendAimpNowPlaying(std::int32_t contact);
