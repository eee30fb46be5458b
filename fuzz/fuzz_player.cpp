// The player's answers and captions (any state, any numbers, captions of any length and bytes)
// through composeNowPlaying, sendNowPlaying and togglePlay.
//
// Input, little-endian: u8 flags (1 the player runs, 2 it is hung); the caption as a u16 byte
// count and its bytes; i32×4 the player's answers: playing state, sample rate, bit rate,
// channels; i32 the contact the report is sent to; the rest: the messenger's answers
// (driver::Messenger::answers).
#include "fuzz/driver.h"
#include "player/commands.h"
#include "player/nowplaying.h"

#include <string>

namespace {

constexpr std::uint8_t playerRuns = 1, playerHung = 2;
// The player's caption buffer holds 255 characters with the terminator.
constexpr std::size_t captionSeen = 254;
// "Playback", "Pause"
constexpr std::string_view playHint =
    "\xC2\xEE\xF1\xEF\xF0\xEE\xE8\xE7\xE2\xE5\xE4\xE5\xED\xE8\xE5";
constexpr std::string_view pauseHint = "\xCF\xE0\xF3\xE7\xE0";

// ">Winamp: " + track + " (" + numbers + ")", the track being the caption in front of the
// suffix of its state.
void checkCompose(std::string_view caption, const driver::PlayerAnswers &a) {
  TrackInfoAnswers info{a.sampleRate, a.bitRate, a.channels};
  std::string line = composeNowPlaying(caption, a.state, info);
  std::string_view suffix = a.state == 0   ? " - Winamp [Stopped]"
                            : a.state == 3 ? " - Winamp [Paused]"
                                           : " - Winamp";
  std::string_view track = caption.substr(0, caption.find(suffix));
  std::string channels = a.channels == 1   ? "mono"
                         : a.channels == 2 ? "stereo"
                                           : std::to_string(a.channels) + "ch";
  std::string expected = ">Winamp: " + std::string(track) + " (" + std::to_string(a.sampleRate) +
                         "KHz/" + std::to_string(a.bitRate) + "kbps/" + channels + ")";
  driver::expect(line == expected, "composeNowPlaying made a wrong line");
}

bool sent(std::size_t i, UINT message, WPARAM wParam, LPARAM lParam) {
  const std::vector<sim::SentMessage> &m = sim::sentMessages();
  return i < m.size() && m[i].message == message && m[i].wParam == wParam && m[i].lParam == lParam;
}

void checkReport(bool runs, std::string_view caption, const driver::PlayerAnswers &answers,
                 std::int32_t contact) {
  driver::Messenger &m = driver::messenger();
  sendNowPlaying(contact);
  std::string_view seen = caption.substr(0, captionSeen);
  if (!runs || seen.size() < 12) {
    driver::expect(m.requestCount == 0, "a report without a player or a caption was sent");
    return;
  }
  driver::expect(sent(0, WM_USER, 0, 104) && sent(1, WM_USER, 0, 126) && sent(2, WM_USER, 1, 126) &&
                     sent(3, WM_USER, 2, 126),
                 "the report's queries to the player");
  driver::expect(m.requestCount == (contact == 0 ? 2u : 1u) &&
                     m.last == model::RequestKind::sendMessage,
                 "the report's requests to the messenger");
  std::string line = composeNowPlaying(
      seen, answers.state, TrackInfoAnswers{answers.sampleRate, answers.bitRate, answers.channels});
  driver::expect(m.lastText == line, "the report sent another line than it composed");
  if (contact != 0)
    driver::expect(m.lastIdOrContact == contact, "the report went to another contact");
  else if (m.chatContactGiven)
    driver::expect(m.lastIdOrContact == *m.chatContactGiven, "the report missed the open chat");
}

void checkTogglePlay(bool runs, std::int32_t state) {
  driver::Messenger &m = driver::messenger();
  std::size_t requests = m.requestCount;
  sim::sentMessages().clear();
  togglePlay();
  if (!runs) return;
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
  driver::messenger().answers = in;
  bool runs = flags & playerRuns;
  if (runs) sim::setHung(driver::addPlayer(caption, answers), flags & playerHung);
  checkCompose(caption, answers);
  // A hung player answers nothing: every query reads 0.
  driver::PlayerAnswers heard = flags & playerHung ? driver::PlayerAnswers{0, 0, 0, 0} : answers;
  checkReport(runs, caption, heard, contact);
  checkTogglePlay(runs, heard.state);
  driver::expect(sim::liveIcons() == 0, "an icon handle outlived its request");
  return 0;
}
