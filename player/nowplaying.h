#pragma once
// The now-playing line: what the player plays, in the shape the user chose; every player's
// report fills it in.
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

// A longer line is cut to this many bytes.
inline constexpr std::size_t nowPlayingLimit = 1024;

// A sample rate in kHz: players that imitate Winamp answer in Hz, which is any answer from 1000
// up (Winamp's own kHz never reach it); 44100 gives 44.
std::int32_t rateInKhz(std::int32_t answer);
// The format with its placeholders filled in: %track% (the track given), %khz%, %kbps%,
// %channels%, %pos%, %len%, %title% (the playlist entry's title, else what %track% gives),
// %number% (the entry counted from 1), %player% (the program) and %% (a percent sign).
// Anything else, an unknown placeholder or a lone "%" too, stays as written.
std::string fillNowPlaying(std::string_view track, const TrackInfoAnswers &info,
                           std::string_view format);
// Whether the format shows the placeholder, such as "%pos%"; "%%pos%" shows none.
bool formatShows(std::string_view format, std::string_view placeholder);
// The placeholders a report asks the player for that the format shows, found in one reading.
struct ShownFields {
  bool position = false, length = false, title = false, number = false;
};
ShownFields shownFields(std::string_view format);
// How a report ended: a player that refuses to be asked is told apart, so that a press can say
// why nothing went out.
enum class ReportEnd { done, refused };
