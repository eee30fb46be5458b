#include "player/nowplaying.h"

#include "host/codepage.h"
#include "host/requests.h"
#include "player/send.h"
#include "player/winamp/messages.h"
#include "player/winamp/playlist.h"
#include "player/winamp/window.h"
#include "player/window.h"
#include "settings/settings.h"

#include <array>

namespace {

// GetWindowTextA's buffer: at most 254 characters of the caption are seen.
constexpr int captionBufferSize = 255;
constexpr int shortestCaption = 12;
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

// The fields a format shows, one bit each: the player is asked for nothing else.
class FieldsShown {
public:
  explicit FieldsShown(std::string_view format) {
    while (!format.empty()) bits_ |= bit(takePiece(format).field);
  }
  bool has(Field field) const { return bits_ & bit(field); }

private:
  static std::uint32_t bit(Field field) { return 1u << static_cast<unsigned>(field); }
  std::uint32_t bits_ = 0;
};

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

std::string readCaption(HWND window) {
  char buffer[captionBufferSize] = {};
  int n = GetWindowTextA(window, buffer, captionBufferSize);
  return std::string(buffer, static_cast<std::size_t>(n < 0 ? 0 : n));
}

// One query of a report; a player that has refused one is asked nothing more.
PlayerReply query(WPARAM wParam, LPARAM request, bool &refused) {
  if (refused) return {};
  PlayerReply reply = sendToPlayer(playerWindow, WM_USER, wParam, request);
  refused = reply.refused;
  return reply;
}

std::int32_t ask(WPARAM wParam, LPARAM request, bool &refused) {
  return static_cast<std::int32_t>(query(wParam, request, refused).value);
}

// Zero is a real position: a time the player did not tell is unknown, not 0:00.
std::int32_t askTime(TrackTime which, bool &refused) {
  PlayerReply reply = query(which, requestTrackTime, refused);
  return reply.answered ? static_cast<std::int32_t>(reply.value) : -1;
}

// Players that imitate Winamp, foobar2000 among them, hold their titles in UTF-8: bytes only
// UTF-8 explains are converted; any other title is Winamp's own ANSI, and goes as it is.
std::string ansiTitle(std::string title) {
  if (isUtf8WithNonAscii(title)) return ansiFromUtf8(title);
  return title;
}

// The current playlist entry, and its title when the format shows it.
void askPlaylist(TrackInfoAnswers &info, bool withTitle, bool &refused) {
  PlayerReply index = query(0, requestPlaylistIndex, refused);
  info.playlistIndex = index.answered ? static_cast<std::int32_t>(index.value) : -1;
  if (!withTitle || info.playlistIndex < 0) return;
  PlayerReply address =
      query(static_cast<WPARAM>(info.playlistIndex), requestPlaylistTitle, refused);
  // The address lies in the player's memory, as wide as the player's pointers.
  if (address.answered && address.value)
    info.title =
        ansiTitle(readPlayerText(playerWindow, static_cast<std::uintptr_t>(address.value)));
}

} // namespace

std::int32_t rateInKhz(std::int32_t answer) {
  return answer >= hzPerKhz ? answer / hzPerKhz : answer;
}

std::string_view captionSuffix(std::int32_t state) {
  if (state == stateStopped) return " - Winamp [Stopped]";
  if (state == statePaused) return " - Winamp [Paused]";
  return " - Winamp";
}

std::string composeNowPlaying(std::string_view caption, std::int32_t state,
                              const TrackInfoAnswers &info, std::string_view format) {
  std::string_view rest = caption;
  std::string_view track = splitOff(captionSuffix(state), rest);
  return fillNowPlaying(track, info, format.empty() ? defaultNowPlayingFormat : format);
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

bool formatShows(std::string_view format, std::string_view placeholder) {
  while (!format.empty()) {
    Piece piece = takePiece(format);
    if (piece.field != Field::text && piece.text == placeholder) return true;
  }
  return false;
}

ReportEnd sendNowPlaying(std::int32_t contact) {
  playerWindow = findPlayerWindow();
  if (!playerWindow) return ReportEnd::done;
  std::string caption = readCaption(playerWindow);
  if (caption.size() < shortestCaption) return ReportEnd::done;
  bool refused = false;
  std::int32_t state = ask(0, requestState, refused);
  TrackInfoAnswers info;
  info.sampleRate = rateInKhz(ask(infoSampleRate, requestTrackInfo, refused));
  info.bitRate = ask(infoBitRate, requestTrackInfo, refused);
  info.channels = ask(infoChannels, requestTrackInfo, refused);
  const std::string &format = settings.nowplayingFormat;
  FieldsShown shown(format);
  if (shown.has(Field::position)) info.positionMs = askTime(timePosition, refused);
  if (shown.has(Field::length)) info.lengthSeconds = askTime(timeLength, refused);
  if (shown.has(Field::title) || shown.has(Field::number))
    askPlaylist(info, shown.has(Field::title), refused);
  // Its caption can be read, but a line of zeros would tell the chat nothing true.
  if (refused) return ReportEnd::refused;
  std::int32_t recipient = contact != 0 ? contact : getChatContact();
  sendMessage(recipient, composeNowPlaying(caption, state, info, format));
  return ReportEnd::done;
}
