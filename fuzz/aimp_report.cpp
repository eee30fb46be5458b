#include "fuzz/aimp_report.h"

#include "host/codepage.h"
#include "player/aimp/report.h"
#include "settings/settings.h"

#include <array>
#include <string>
#include <vector>

namespace {

using driver::aimpProperty;
constexpr std::size_t blockSize = 2048, headerSize = 88;
using Wide = std::basic_string<WCHAR>;

std::uint32_t dword(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

// The i-th of the six strings (album, artist, date, file name, genre, title): none when it or
// one before it runs past the 2048 bytes.
Wide text(std::string_view b, std::size_t i) {
  std::uint64_t at = headerSize;
  for (std::size_t j = 0; j <= i; ++j) {
    std::uint64_t units = dword(b, 40 + 4 * j);
    if (at + 2 * units > blockSize) return {};
    if (j == i) {
      Wide out;
      for (std::uint64_t k = 0; k < units; ++k)
        out += static_cast<WCHAR>(static_cast<unsigned char>(b[at + 2 * k]) |
                                  static_cast<unsigned char>(b[at + 2 * k + 1]) << 8);
      return out;
    }
    at += 2 * units;
  }
  return {};
}

Wide trackName(std::string_view b) {
  Wide title = text(b, 5);
  if (title.empty()) {
    Wide file = text(b, 3);
    std::size_t slash = file.find_last_of(Wide{WCHAR('\\'), WCHAR('/')});
    title = slash == Wide::npos ? file : file.substr(slash + 1);
  }
  Wide artist = text(b, 1);
  return artist.empty() ? title : artist + Wide{WCHAR(' '), WCHAR('-'), WCHAR(' ')} + title;
}

TrackInfoAnswers expectedInfo(std::string_view b, TimesShown shown,
                              const driver::PlayerAnswers &answers, bool hung) {
  TrackInfoAnswers info;
  auto rate = static_cast<std::int32_t>(dword(b, 32));
  info.sampleRate = rate >= 1000 ? rate / 1000 : rate;
  info.bitRate = static_cast<std::int32_t>(dword(b, 8));
  info.channels = static_cast<std::int32_t>(dword(b, 12));
  info.playlistIndex = static_cast<std::int32_t>(dword(b, 36) - 1);
  info.player = "AIMP";
  if (shown.position && !hung) info.positionMs = answers.positionMs;
  if (shown.length && !hung)
    info.lengthSeconds = answers.lengthSeconds < 0 ? -1 : answers.lengthSeconds / 1000;
  return info;
}

bool sentProperty(std::size_t i, WPARAM property) {
  const std::vector<sim::SentMessage> &m = sim::sentMessages();
  return i < m.size() && m[i].message == aimpProperty && m[i].wParam == property &&
         m[i].lParam == 0 && m[i].bounded;
}

} // namespace

void checkAimpReport(std::string_view block, std::string_view format, TimesShown shown,
                     const driver::PlayerAnswers &answers, bool hung, bool refuses,
                     std::int32_t contact) {
  HWND aimp = driver::addAimp(std::string(block), answers);
  sim::setHung(aimp, hung);
  sim::setRefusing(aimp, refuses);
  sim::sentMessages().clear();
  driver::Messenger &m = driver::messenger();
  std::size_t before = m.requestCount;
  settings.nowplayingFormat = format;
  ReportEnd end = sendAimpNowPlaying(contact);
  driver::expect(sim::openMappings() == 0 && sim::mappedViews() == 0,
                 "AIMP's block was left open or mapped");
  bool usable = block.size() >= blockSize && dword(block, 0) == headerSize && dword(block, 4) != 0;
  if (!usable) {
    driver::expect(m.requestCount == before && sim::sentMessages().empty() &&
                       end == ReportEnd::done,
                   "a line from AIMP without a block that holds a track");
    return;
  }
  std::size_t queries = 0;
  if (shown.position)
    driver::expect(sentProperty(queries++, 0x20), "AIMP's position was not asked");
  if (shown.length && !(refuses && shown.position))
    driver::expect(sentProperty(queries++, 0x30), "AIMP's duration was not asked");
  driver::expect(sim::sentMessages().size() == queries,
                 "AIMP was asked more than the format shows");
  if (refuses && (shown.position || shown.length)) {
    driver::expect(end == ReportEnd::refused && m.requestCount == before,
                   "a line from an AIMP that refused to be asked");
    return;
  }
  driver::expect(m.requestCount == before + (contact == 0 ? 2u : 1u) &&
                     m.last == model::RequestKind::sendMessage,
                 "AIMP's report's requests to the messenger");
  std::string expected =
      fillNowPlaying(ansiFromUtf16(trackName(block)), expectedInfo(block, shown, answers, hung),
                     format.empty() ? defaultAimpFormat : format);
  driver::expect(m.lastText == expected, "AIMP's report sent another line than its block holds");
}
