#include "player/nowplaying.h"

#include <array>

namespace {

constexpr std::int32_t msPerSecond = 1000;
constexpr std::int32_t hzPerKhz = 1000;

enum class Field {
  text,
  track,
  sampleRate,
  bitRate,
  channels,
  position,
  length,
  title,
  number,
  player
};

struct Placeholder {
  std::string_view name;
  Field field;
};

constexpr std::array<Placeholder, 9> placeholders{{
    {"%track%", Field::track},
    {"%khz%", Field::sampleRate},
    {"%kbps%", Field::bitRate},
    {"%channels%", Field::channels},
    {"%pos%", Field::position},
    {"%len%", Field::length},
    {"%title%", Field::title},
    {"%number%", Field::number},
    {"%player%", Field::player},
}};

// A placeholder, or text that goes into the line as it stands.
struct Piece {
  Field field;
  std::string_view text;
};

// Takes the next piece off the front of a nonempty format. Text runs up to the next "%"; a
// "%" that starts no placeholder is text, so that it cannot swallow a placeholder behind it.
Piece takePiece(std::string_view &format) {
  if (format.starts_with("%%")) {
    format.remove_prefix(2);
    return {Field::text, "%"};
  }
  if (format.front() == '%')
    for (const Placeholder &p : placeholders)
      if (format.starts_with(p.name)) {
        format.remove_prefix(p.name.size());
        return {p.field, p.name};
      }
  std::string_view text = format.substr(0, format.find('%', 1));
  format.remove_prefix(text.size());
  return {Field::text, text};
}

std::string channelText(std::int32_t channels) {
  if (channels == 1) return "mono";
  if (channels == 2) return "stereo";
  return std::to_string(channels) + "ch";
}

std::string twoDigits(std::int32_t n) {
  return {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
}

// m:ss below an hour, h:mm:ss from one hour up.
std::string clockText(std::int32_t seconds) {
  std::int32_t minutes = seconds / 60;
  std::string text = minutes < 60 ? std::to_string(minutes)
                                  : std::to_string(minutes / 60) + ':' + twoDigits(minutes % 60);
  return text + ':' + twoDigits(seconds % 60);
}

// The player's "unknown", any answer below 0, shows as nothing.
std::string timeText(std::int32_t answer, std::int32_t unitsPerSecond) {
  return answer < 0 ? std::string() : clockText(answer / unitsPerSecond);
}

// The playlist entry counted from 1 (the last index, 2^31 - 1, still fits unsigned); nothing
// when it is unknown.
std::string numberText(std::int32_t index) {
  return index < 0 ? std::string() : std::to_string(static_cast<std::uint32_t>(index) + 1);
}

void appendCapped(std::string &line, std::string_view piece) {
  line.append(piece.substr(0, nowPlayingLimit - line.size()));
}

// A number the player does not tell shows as nothing.
std::string streamText(const TrackInfoAnswers &info, std::string text) {
  return info.streamKnown ? text : std::string();
}

void appendPiece(std::string &line, const Piece &piece, std::string_view track,
                 const TrackInfoAnswers &info) {
  switch (piece.field) {
  case Field::text:
    return appendCapped(line, piece.text);
  case Field::track:
    return appendCapped(line, track);
  case Field::sampleRate:
    return appendCapped(line, streamText(info, std::to_string(info.sampleRate)));
  case Field::bitRate:
    return appendCapped(line, streamText(info, std::to_string(info.bitRate)));
  case Field::channels:
    return appendCapped(line, streamText(info, channelText(info.channels)));
  case Field::position:
    return appendCapped(line, timeText(info.positionMs, msPerSecond));
  case Field::length:
    return appendCapped(line, timeText(info.lengthSeconds, 1));
  case Field::title:
    // Never poorer than the caption: without a title the track stands in.
    return appendCapped(line, info.title.empty() ? track : std::string_view(info.title));
  case Field::number:
    return appendCapped(line, numberText(info.playlistIndex));
  case Field::player:
    return appendCapped(line, info.player);
  }
}

} // namespace

std::int32_t rateInKhz(std::int32_t answer) {
  return answer >= hzPerKhz ? answer / hzPerKhz : answer;
}

std::string fillNowPlaying(std::string_view track, const TrackInfoAnswers &info,
                           std::string_view format) {
  std::string line;
  // One allocation for the line, which never outgrows the cut.
  line.reserve(nowPlayingLimit);
  while (!format.empty() && line.size() < nowPlayingLimit)
    appendPiece(line, takePiece(format), track, info);
  return line;
}

ShownFields shownFields(std::string_view format) {
  ShownFields shown;
  while (!format.empty()) {
    Field field = takePiece(format).field;
    shown.position |= field == Field::position;
    shown.length |= field == Field::length;
    shown.title |= field == Field::title;
    shown.number |= field == Field::number;
  }
  return shown;
}

bool formatShows(std::string_view format, std::string_view placeholder) {
  while (!format.empty()) {
    Piece piece = takePiece(format);
    if (piece.field != Field::text && piece.text == placeholder) return true;
  }
  return false;
}
