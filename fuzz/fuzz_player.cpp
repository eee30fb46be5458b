// The player's answers and captions (any state, any numbers, captions of any length and bytes)
// and formats of any bytes through composeNowPlaying, sendNowPlaying and togglePlay.
//
// Input, little-endian: u8 flags (1 the player runs, 2 it is hung, 4 a format follows); the
// caption as a u16 byte count and its bytes; i32×4 the player's answers: playing state, sample
// rate, bit rate, channels; i32 the contact the report is sent to; with flag 4: the format as a
// u16 byte count and its bytes, then i32×2 the player's answers for the position in ms and the
// length in seconds; with flag 8, the playlist: i32 the player's answer to the index of the
// current entry, u32 its answer to the address of the entry's title, u8 the pages of its memory
// from playerMemory on (bit k < 3: the k-th page is there; bit 3 + k: it cannot be read), and a
// u16 offset from playerMemory and a text written there, onto the pages that are there; flag
// 16: the player's process cannot be opened; flag 32: the player refuses every message, as a
// player with higher rights does; flag 64: u8 the bitness, bits 0-1 whether the plug-in's own
// process runs under WOW64 (0 no, 1 yes, 2 and 3 unknown: IsWow64Process fails), bits 2-3 the
// same of the player's, bit 4 kernel32 has no IsWow64Process (Windows before XP SP2); flag 128:
// AIMP runs, its shared block as a u16 byte count and its bytes, its position and duration the
// answers of the position and the length (hung and refusing with the same flags); the rest: the
// messenger's answers (driver::Messenger::answers).
#include "fuzz/aimp_report.h"
#include "fuzz/driver.h"
#include "host/codepage.h"
#include "player/winamp/commands.h"
#include "player/winamp/report.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::uint8_t playerRuns = 1, playerHung = 2, formatFollows = 4, playlistFollows = 8,
                       processDenied = 16, playerRefuses = 32, bitnessFollows = 64,
                       aimpFollows = 128;
// The player's caption buffer holds 255 characters with the terminator.
constexpr std::size_t captionSeen = 254;
// "Playback", "Pause"
constexpr std::string_view playHint =
    "\xC2\xEE\xF1\xEF\xF0\xEE\xE8\xE7\xE2\xE5\xE4\xE5\xED\xE8\xE5";
constexpr std::string_view pauseHint = "\xCF\xE0\xF3\xE7\xE0";

std::string_view trackOf(std::string_view caption, std::int32_t state) {
  std::string_view suffix = state == 0   ? " - Winamp [Stopped]"
                            : state == 3 ? " - Winamp [Paused]"
                                         : " - Winamp";
  return caption.substr(0, caption.find(suffix));
}

std::string channelsText(std::int32_t channels) {
  return channels == 1 ? "mono" : channels == 2 ? "stereo" : std::to_string(channels) + "ch";
}

std::string clockText(std::int32_t answer, std::int32_t perSecond) {
  if (answer < 0) return {};
  std::int32_t s = answer / perSecond;
  char text[32];
  if (s < 3600)
    std::snprintf(text, sizeof text, "%d:%02d", s / 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  return text;
}

// The player's memory: a few pages, each there or not, readable or not; every other address
// leads nowhere.
constexpr std::uintptr_t playerMemory = 0x00A00000;
constexpr std::size_t pageSize = 0x1000, memoryPages = 3, titleLimit = 255;

struct Memory {
  std::uint8_t pages = 0;
  std::string bytes = std::string(memoryPages * pageSize, '\0');
  bool denied = false;
  bool readable(std::uintptr_t at) const {
    if (at < playerMemory || at >= playerMemory + bytes.size()) return false;
    std::size_t page = (at - playerMemory) / pageSize;
    return (pages >> page & 1) && !(pages >> (3 + page) & 1);
  }
};

Memory memoryOf(driver::Cursor &in, bool denied) {
  Memory m;
  m.pages = in.byte();
  m.denied = denied;
  std::size_t offset = in.u16();
  std::string_view text = in.text();
  if (offset < m.bytes.size()) {
    std::size_t n = std::min(text.size(), m.bytes.size() - offset);
    m.bytes.replace(offset, n, text.substr(0, n));
  }
  return m;
}

void placeMemory(HWND player, const Memory &m) {
  for (std::size_t page = 0; page < memoryPages; ++page) {
    if (!(m.pages >> page & 1)) continue;
    std::uintptr_t at = playerMemory + page * pageSize;
    sim::writeProcessMemory(player, at, m.bytes.substr(page * pageSize, pageSize));
    if (m.pages >> (3 + page) & 1) sim::protectProcessPage(player, at);
  }
  if (m.denied) sim::denyProcessOpen(player);
}

// The title as the player's memory holds it, byte by byte: empty when any byte up to its NUL
// or its 255th cannot be read.
std::string titleAt(const Memory &m, std::uintptr_t address) {
  std::string title;
  if (!address || m.denied) return title;
  for (std::uintptr_t at = address; title.size() < titleLimit; ++at) {
    if (!m.readable(at)) return {};
    char c = m.bytes[at - playerMemory];
    if (c == '\0') break;
    title += c;
  }
  return title;
}

struct Bitness {
  sim::Wow64 own = sim::Wow64::no;
  sim::Wow64 player = sim::Wow64::no;
  bool withoutIsWow64Process = false;
};

sim::Wow64 wow64Of(unsigned bits) {
  return bits == 0 ? sim::Wow64::no : bits == 1 ? sim::Wow64::yes : sim::Wow64::unknown;
}

Bitness bitnessOf(std::uint8_t b) {
  return {wow64Of(b & 3u), wow64Of(b >> 2 & 3u), (b & 16) != 0};
}

// Without IsWow64Process there is no WOW64 either; otherwise both processes must be known to be
// of one bitness.
bool titleReadable(const Bitness &b) {
  return b.withoutIsWow64Process ||
         (b.own != sim::Wow64::unknown && b.player != sim::Wow64::unknown && b.own == b.player);
}

TrackInfoAnswers infoOf(const driver::PlayerAnswers &a, const std::string &title) {
  return {a.sampleRate,    a.bitRate,       a.channels, a.positionMs,
          a.lengthSeconds, a.playlistIndex, title};
}

struct Expanded {
  std::string line;
  bool position = false;
  bool length = false;
  bool title = false;
  bool number = false;
};

// The format filled in byte by byte: at each "%" the first placeholder that stands there, else
// the "%" itself. The line is cut at 1024 bytes.
Expanded expand(std::string_view format, std::string_view track, const TrackInfoAnswers &info) {
  const std::pair<std::string_view, std::string> values[] = {
      {"%%", "%"},
      {"%track%", std::string(track)},
      {"%khz%", info.streamKnown ? std::to_string(info.sampleRate) : ""},
      {"%kbps%", info.streamKnown ? std::to_string(info.bitRate) : ""},
      {"%channels%", info.streamKnown ? channelsText(info.channels) : ""},
      {"%pos%", clockText(info.positionMs, 1000)},
      {"%len%", clockText(info.lengthSeconds, 1)},
      {"%title%", info.title.empty() ? std::string(track) : info.title},
      {"%number%", info.playlistIndex < 0 ? "" : std::to_string(info.playlistIndex + 1LL)},
      {"%player%", std::string(info.player)},
  };
  Expanded e;
  for (std::size_t i = 0; i < format.size();) {
    const auto *v = std::find_if(std::begin(values), std::end(values), [&](const auto &p) {
      return format.compare(i, p.first.size(), p.first) == 0;
    });
    if (v == std::end(values)) {
      e.line += format[i++];
      continue;
    }
    e.line += v->second;
    i += v->first.size();
    e.position |= v->first == "%pos%";
    e.length |= v->first == "%len%";
    e.title |= v->first == "%title%";
    e.number |= v->first == "%number%";
  }
  e.line.resize(std::min<std::size_t>(e.line.size(), 1024));
  return e;
}

// The line as it always was: ">Winamp: " + track + " (" + numbers + ")", for the default and
// the empty format whatever the time answers; any other format filled in as expand does it.
// Only captions far longer than the report can read make the line as it was reach the cut.
// Caption and format lie in buffers of their exact size, so that a read past them shows.
void checkCompose(std::string_view caption, std::string_view format, const driver::PlayerAnswers &a,
                  const std::string &title) {
  TrackInfoAnswers info = infoOf(a, title);
  std::string today = ">Winamp: " + std::string(trackOf(caption, a.state)) + " (" +
                      std::to_string(a.sampleRate) + "KHz/" + std::to_string(a.bitRate) + "kbps/" +
                      channelsText(a.channels) + ")";
  today.resize(std::min<std::size_t>(today.size(), 1024));
  driver::expect(composeNowPlaying(caption, a.state, info) == today &&
                     composeNowPlaying(caption, a.state, info, {}) == today &&
                     expand(defaultNowPlayingFormat, trackOf(caption, a.state), info).line == today,
                 "the default format made another line than the one it always made");
  std::string line = composeNowPlaying(caption, a.state, info, format);
  driver::expect(line.size() <= 1024, "a line longer than 1024 bytes");
  if (!format.empty())
    driver::expect(line == expand(format, trackOf(caption, a.state), info).line,
                   "composeNowPlaying filled the format in wrongly");
}

bool sent(std::size_t i, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::vector<sim::SentMessage> &m = sim::sentMessages();
  return i < m.size() && m[i].message == message && m[i].wParam == wParam && m[i].lParam == lParam;
}

// Every read of the player's memory starts where the one before ended and stays on one page,
// and they take 255 bytes at most.
void checkReads(std::uintptr_t address) {
  std::uintptr_t at = address;
  for (const sim::MemoryRead &r : sim::memoryReads()) {
    driver::expect(r.address == at && r.size > 0 && r.address % pageSize + r.size <= pageSize,
                   "a read of the player's memory reached past a page it had not looked at");
    at += r.size;
  }
  driver::expect(at - address <= titleLimit, "more than 255 bytes of a title read");
}

// The player is asked for the playlist only for a format that shows it, its process is opened
// only for a title it gave, and its memory read only when it is readable.
std::size_t checkPlaylistQueries(const Expanded &e, const driver::PlayerAnswers &answers,
                                 bool readable, std::size_t queries) {
  if (e.title || e.number)
    driver::expect(sent(queries++, WM_USER, 0, 125), "the playlist's entry was not asked");
  bool titleAsked = e.title && answers.playlistIndex >= 0;
  if (titleAsked)
    driver::expect(sent(queries++, WM_USER, static_cast<WPARAM>(answers.playlistIndex), 212),
                   "the entry's title was not asked");
  bool opened = titleAsked && answers.titleAddress != 0;
  driver::expect(sim::processOpens().size() == (opened ? 1u : 0u),
                 "the player's process was opened without a title to read");
  driver::expect(!opened ||
                     sim::processOpens()[0].access == (PROCESS_QUERY_INFORMATION | PROCESS_VM_READ),
                 "the player's process was opened with other rights than needed");
  driver::expect(sim::openProcesses() == 0, "a process handle was left open");
  driver::expect(readable || sim::memoryReads().empty(),
                 "the memory of a player of another or unknown bitness was read");
  checkReads(answers.titleAddress);
  return queries;
}

// A player that refuses is asked once and told nothing more; nothing goes to the messenger.
void checkRefused(std::size_t requestsBefore) {
  driver::expect(sim::sentMessages().size() == 1 &&
                     driver::messenger().requestCount == requestsBefore,
                 "a refusing player was asked again, or the messenger told something");
}

void checkReport(bool runs, bool refuses, std::string_view caption, std::string_view format,
                 const driver::PlayerAnswers &answers, bool readable, const std::string &title,
                 std::int32_t contact) {
  driver::Messenger &m = driver::messenger();
  ReportEnd end = sendNowPlaying(contact);
  std::string_view seen = caption.substr(0, captionSeen);
  if (!runs || seen.size() < 12) {
    driver::expect(m.requestCount == 0 && end == ReportEnd::done,
                   "a report without a player or a caption was sent");
    return;
  }
  driver::expect((end == ReportEnd::refused) == refuses, "a refusal reported wrongly");
  if (refuses) return checkRefused(0);
  driver::expect(sent(0, WM_USER, 0, 104) && sent(1, WM_USER, 0, 126) && sent(2, WM_USER, 1, 126) &&
                     sent(3, WM_USER, 2, 126),
                 "the report's queries to the player");
  TrackInfoAnswers info = infoOf(answers, title);
  // An answer from 1000 up is a rate in Hz, from a player that imitates Winamp.
  if (info.sampleRate >= 1000) info.sampleRate /= 1000;
  Expanded e =
      expand(format.empty() ? defaultNowPlayingFormat : format, trackOf(seen, answers.state), info);
  std::size_t queries = 4;
  if (e.position)
    driver::expect(sent(queries++, WM_USER, 0, 105), "the format's position was not asked");
  if (e.length)
    driver::expect(sent(queries++, WM_USER, 1, 105), "the format's length was not asked");
  queries = checkPlaylistQueries(e, answers, readable, queries);
  driver::expect(sim::sentMessages().size() == queries,
                 "the player was asked for more than the format shows");
  for (const sim::SentMessage &s : sim::sentMessages())
    driver::expect(s.bounded, "a query to the player without a time limit");
  driver::expect(m.requestCount == (contact == 0 ? 2u : 1u) &&
                     m.last == model::RequestKind::sendMessage,
                 "the report's requests to the messenger");
  driver::expect(m.lastText == composeNowPlaying(seen, answers.state, info, format),
                 "the report sent another line than it composed");
  if (contact != 0)
    driver::expect(m.lastIdOrContact == contact, "the report went to another contact");
  else if (m.chatContactGiven)
    driver::expect(m.lastIdOrContact == *m.chatContactGiven, "the report missed the open chat");
}

void checkTogglePlay(bool runs, bool refuses, std::int32_t state) {
  driver::Messenger &m = driver::messenger();
  std::size_t requests = m.requestCount;
  sim::sentMessages().clear();
  sim::messageBoxes().clear();
  togglePlay();
  if (!runs) return;
  if (refuses) {
    driver::expect(sim::messageBoxes().size() == 1, "a refused press without its one box");
    return checkRefused(requests);
  }
  bool pauseResume = state == 1 || state == 3;
  driver::expect(sent(0, WM_USER, 0, 104) &&
                     (pauseResume ? sent(1, WM_COMMAND, 40046, 0) : sent(1, WM_USER, 0, 102)),
                 "play/pause sent the wrong command");
  driver::expect(m.requestCount == requests + 1 && m.last == model::RequestKind::updateButton &&
                     m.lastText == (state == 1 ? playHint : pauseHint),
                 "play/pause gave the button the wrong look");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  driver::unload();
  hostCallback = &driver::messengerCallback;
  driver::Cursor in(data, size);
  std::uint8_t flags = in.byte();
  std::string caption(in.text());
  driver::PlayerAnswers answers{in.i32(), in.i32(), in.i32(), in.i32()};
  std::int32_t contact = in.i32();
  std::string_view format;
  if (flags & formatFollows) {
    format = in.text();
    answers.positionMs = in.i32();
    answers.lengthSeconds = in.i32();
  }
  Memory memory;
  if (flags & playlistFollows) {
    answers.playlistIndex = in.i32();
    answers.titleAddress = static_cast<std::uint32_t>(in.i32());
    memory = memoryOf(in, flags & processDenied);
  }
  Bitness bitness = flags & bitnessFollows ? bitnessOf(in.byte()) : Bitness{};
  std::string aimpBlock(flags & aimpFollows ? in.text() : std::string_view());
  driver::messenger().answers = in;
  bool runs = flags & playerRuns;
  bool refuses = runs && (flags & playerRefuses);
  if (runs) {
    HWND player = driver::addPlayer(caption, answers);
    sim::setHung(player, flags & playerHung);
    sim::setRefusing(player, refuses);
    placeMemory(player, memory);
    sim::setWow64(player, bitness.player);
  }
  sim::setOwnWow64(bitness.own);
  if (bitness.withoutIsWow64Process) sim::removeIsWow64Process();
  std::vector<char> captionBytes(caption.begin(), caption.end());
  std::vector<char> formatBytes(format.begin(), format.end());
  checkCompose({captionBytes.data(), captionBytes.size()}, {formatBytes.data(), formatBytes.size()},
               answers, titleAt(memory, answers.titleAddress));
  // A hung player answers nothing: every query reads 0, and the times and the playlist entry are
  // unknown.
  driver::PlayerAnswers heard =
      flags & playerHung ? driver::PlayerAnswers{0, 0, 0, 0, -1, -1, -1, 0} : answers;
  settings.nowplayingFormat = format;
  bool readable = titleReadable(bitness);
  std::string title =
      heard.playlistIndex >= 0 && readable ? titleAt(memory, heard.titleAddress) : "";
  // A title that only UTF-8 explains is sent in the ANSI code page.
  if (isUtf8WithNonAscii(title)) title = ansiFromUtf8(title);
  checkReport(runs, refuses, caption, format, heard, readable, title, contact);
  checkTogglePlay(runs, refuses, heard.state);
  if (flags & aimpFollows) {
    Expanded e = expand(format.empty() ? defaultNowPlayingFormat : format, "", {});
    checkAimpReport(aimpBlock, format, {e.position, e.length}, answers, flags & playerHung,
                    flags & playerRefuses, contact);
  }
  driver::expect(sim::liveIcons() == 0, "an icon handle outlived its request");
  return 0;
}
