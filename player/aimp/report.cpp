#include "player/aimp/report.h"

#include "host/codepage.h"
#include "host/requests.h"
#include "player/aimp/window.h"
#include "player/window.h"
#include "settings/settings.h"

namespace {

constexpr std::int32_t msPerSecond = 1000;

// A time AIMP did not tell is unknown, not 0:00.
std::int32_t askTime(AimpProperty property, bool &refused) {
  if (refused) return -1;
  PlayerReply reply = askAimp(property);
  refused = reply.refused;
  return reply.answered ? static_cast<std::int32_t>(reply.value) : -1;
}

} // namespace

TrackInfoAnswers aimpInfo(const AimpTrack &track) {
  TrackInfoAnswers info;
  info.sampleRate = rateInKhz(track.sampleRate);
  info.bitRate = track.bitRate;
  info.channels = track.channels;
  info.player = "AIMP";
  // The index counted from 0 that %number% shows counted from 1.
  info.playlistIndex = static_cast<std::int32_t>(track.trackNumber - 1);
  return info;
}

ReportEnd sendAimpNowPlaying(std::int32_t contact) {
  playerWindow = findAimpWindow();
  if (!playerWindow) return ReportEnd::done;
  std::optional<AimpTrack> track = readAimpTrack();
  if (!track) return ReportEnd::done;
  TrackInfoAnswers info = aimpInfo(*track);
  std::string_view format = settings.nowplayingFormat;
  if (format.empty()) format = defaultAimpFormat;
  bool refused = false;
  if (formatShows(format, "%pos%")) info.positionMs = askTime(aimpPosition, refused);
  if (formatShows(format, "%len%")) {
    std::int32_t durationMs = askTime(aimpDuration, refused);
    info.lengthSeconds = durationMs < 0 ? -1 : durationMs / msPerSecond;
  }
  if (refused) return ReportEnd::refused;
  std::int32_t recipient = contact != 0 ? contact : getChatContact();
  sendMessage(recipient, fillNowPlaying(ansiFromUtf16(aimpTrackName(*track)), info, format));
  return ReportEnd::done;
}
