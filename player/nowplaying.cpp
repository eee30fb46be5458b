#include "player/nowplaying.h"

#include "host/requests.h"
#include "player/messages.h"
#include "player/window.h"
#include "settings/settings.h"

namespace {

// GetWindowTextA's buffer: at most 254 characters of the caption are seen.
constexpr int captionBufferSize = 255;
constexpr int shortestCaption = 12;

std::string channelText(std::int32_t channels) {
  if (channels == 1) return "mono";
  if (channels == 2) return "stereo";
  return std::to_string(channels) + "ch";
}

std::string readCaption(HWND window) {
  char buffer[captionBufferSize] = {};
  int n = GetWindowTextA(window, buffer, captionBufferSize);
  return std::string(buffer, static_cast<std::size_t>(n < 0 ? 0 : n));
}

std::int32_t ask(WPARAM wParam, LPARAM request) {
  return static_cast<std::int32_t>(sendToPlayer(playerWindow, WM_USER, wParam, request));
}

} // namespace

std::string_view captionSuffix(std::int32_t state) {
  if (state == stateStopped) return " - Winamp [Stopped]";
  if (state == statePaused) return " - Winamp [Paused]";
  return " - Winamp";
}

std::string composeNowPlaying(std::string_view caption, std::int32_t state,
                              const TrackInfoAnswers &info) {
  std::string_view rest = caption;
  std::string_view track = splitOff(captionSuffix(state), rest);
  return ">Winamp: " + std::string(track) + " (" + std::to_string(info.sampleRate) + "KHz/" +
         std::to_string(info.bitRate) + "kbps/" + channelText(info.channels) + ")";
}

void sendNowPlaying(std::int32_t contact) {
  playerWindow = findPlayerWindow();
  if (!playerWindow) return;
  std::string caption = readCaption(playerWindow);
  if (caption.size() < shortestCaption) return;
  std::int32_t state = ask(0, requestState);
  TrackInfoAnswers info;
  info.sampleRate = ask(infoSampleRate, requestTrackInfo);
  info.bitRate = ask(infoBitRate, requestTrackInfo);
  info.channels = ask(infoChannels, requestTrackInfo);
  std::int32_t recipient = contact != 0 ? contact : getChatContact();
  sendMessage(recipient, composeNowPlaying(caption, state, info));
}
