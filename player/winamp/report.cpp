#include "player/winamp/report.h"

#include "host/codepage.h"
#include "host/requests.h"
#include "player/send.h"
#include "player/winamp/messages.h"
#include "player/winamp/playlist.h"
#include "player/winamp/window.h"
#include "player/window.h"
#include "settings/settings.h"

namespace {

// GetWindowTextA's buffer: at most 254 characters of the caption are seen.
constexpr int captionBufferSize = 255;
constexpr int shortestCaption = 12;

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
  ShownFields shown = shownFields(format);
  if (shown.position) info.positionMs = askTime(timePosition, refused);
  if (shown.length) info.lengthSeconds = askTime(timeLength, refused);
  if (shown.title || shown.number) askPlaylist(info, shown.title, refused);
  // Its caption can be read, but a line of zeros would tell the chat nothing true.
  if (refused) return ReportEnd::refused;
  std::int32_t recipient = contact != 0 ? contact : getChatContact();
  sendMessage(recipient, composeNowPlaying(caption, state, info, format));
  return ReportEnd::done;
}
