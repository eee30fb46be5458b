#pragma once
// Winamp's now-playing line: the track from its window's caption, the rest asked of Winamp.
#include "player/nowplaying.h"

#include <cstdint>
#include <string>
#include <string_view>

// The line as it has always read; an empty format means this one.
inline constexpr std::string_view defaultNowPlayingFormat =
    ">Winamp: %track% (%khz%KHz/%kbps%kbps/%channels%)";

// The caption suffix the player shows in the given state.
std::string_view captionSuffix(std::int32_t state);
// The format filled in as fillNowPlaying does, %track% being the caption without the suffix of
// the state; an empty format gives the default line.
std::string composeNowPlaying(std::string_view caption, std::int32_t state,
                              const TrackInfoAnswers &info,
                              std::string_view format = defaultNowPlayingFormat);
// Sends the line to the contact, or to the open chat for contact 0; nothing without a player
// and nothing when the player refuses.
ReportEnd sendNowPlaying(std::int32_t contact);
