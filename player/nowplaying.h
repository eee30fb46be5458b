#pragma once
// The now-playing line: what the player plays, in the shape the user chose, sent as a chat
// message.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

struct TrackInfoAnswers {
  std::int32_t sampleRate = 0;
  std::int32_t bitRate = 0;
  std::int32_t channels = 0;
  // Asked only for a format that shows them; below 0 the player does not know them.
  std::int32_t positionMs = -1;
  std::int32_t lengthSeconds = -1;
  // Asked only for a format that shows them: the current playlist entry counted from 0, below 0
  // when unknown, and its title as the player holds it, empty when the player gave none.
  std::int32_t playlistIndex = -1;
  std::string title{};
  // False where the player tells no sample rate, bit rate or channels: they show as nothing.
  bool streamKnown = true;
  // The program, for %player%.
  std::string_view player = "Winamp";
};

// The line as it has always read; an empty format means this one.
inline constexpr std::string_view defaultNowPlayingFormat =
    ">Winamp: %track% (%khz%KHz/%kbps%kbps/%channels%)";
// The line from a media session of Windows, whose player has no caption of its own.
inline constexpr std::string_view sessionNowPlayingFormat = ">%player%: %track%";
// A longer line is cut to this many bytes.
inline constexpr std::size_t nowPlayingLimit = 1024;

// A sample rate in kHz: players that imitate Winamp answer in Hz, which is any answer from 1000
// up (Winamp's own kHz never reach it); 44100 gives 44.
std::int32_t rateInKhz(std::int32_t answer);
// The caption suffix the player shows in the given state.
std::string_view captionSuffix(std::int32_t state);
// The format with its placeholders filled in: %track% (the caption without the suffix of the
// state), %khz%, %kbps%, %channels%, %pos%, %len%, %title% (the playlist entry's title, else
// what %track% gives), %number% (the entry counted from 1), %player% (the program) and %% (a
// percent sign). Anything else, an unknown placeholder or a lone "%" too, stays as written.
std::string composeNowPlaying(std::string_view caption, std::int32_t state,
                              const TrackInfoAnswers &info,
                              std::string_view format = defaultNowPlayingFormat);
// The format with its placeholders filled in, %track% and %title% by the track given.
std::string fillNowPlaying(std::string_view track, const TrackInfoAnswers &info,
                           std::string_view format);
// Whether the format shows the placeholder, such as "%pos%"; "%%pos%" shows none.
bool formatShows(std::string_view format, std::string_view placeholder);
// How a report ended: a player that refuses to be asked is told apart, so that a press can say
// why nothing went out.
enum class ReportEnd { done, refused };
// Sends the line to the contact, or to the open chat for contact 0; nothing without a player
// and nothing when the player refuses.
ReportEnd sendNowPlaying(std::int32_t contact);
