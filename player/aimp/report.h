#pragma once
// The now-playing line from AIMP: the track from its shared block, the times from its
// properties, in the shape the user chose.
#include "player/aimp/block.h"
#include "player/nowplaying.h"

#include <cstdint>
#include <string_view>

// AIMP's line when the format is empty.
inline constexpr std::string_view defaultAimpFormat =
    ">AIMP: %track% (%khz%KHz/%kbps%kbps/%channels%)";

// What the format's placeholders show of the track: the kHz of its rate, the number counted
// from 1 (none for 0); the times stay unknown.
TrackInfoAnswers aimpInfo(const AimpTrack &track);
// Sends the line to the contact, or to the open chat for contact 0; nothing without AIMP's
// window or a track in its block, and nothing when AIMP refuses to tell the times the format
// shows.
ReportEnd sendAimpNowPlaying(std::int32_t contact);
