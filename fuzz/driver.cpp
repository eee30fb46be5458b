#include "fuzz/driver.h"

#include "settings/settings.h"
#include "tests/native_plugin.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace driver {

namespace {

bool findingsThrown = false;

} // namespace

void fail(const char *what) {
  if (findingsThrown) throw Finding(what);
  std::fprintf(stderr, "driver: %s\n", what);
  std::abort();
}

void throwFindings(bool on) {
  findingsThrown = on;
}

std::uint8_t Cursor::byte() {
  if (rest_.empty()) return 0;
  auto b = static_cast<std::uint8_t>(rest_.front());
  rest_.remove_prefix(1);
  return b;
}

std::uint16_t Cursor::u16() {
  std::uint16_t low = byte();
  return static_cast<std::uint16_t>(low | byte() << 8);
}

std::int32_t Cursor::i32() {
  std::uint32_t low = u16();
  return static_cast<std::int32_t>(low | std::uint32_t{u16()} << 16);
}

std::string_view Cursor::take(std::size_t n) {
  std::string_view taken = rest_.substr(0, n);
  rest_.remove_prefix(taken.size());
  return taken;
}

std::vector<std::uint8_t> exactCopy(std::string_view record) {
  return std::vector<std::uint8_t>(record.begin(), record.end());
}

void unload() {
  unloadNativePlugin();
  sim::reset();
  messenger() = Messenger{};
}

Messenger &messenger() {
  static Messenger m;
  return m;
}

namespace {

std::string properAnswer(Messenger &m) {
  switch (m.last) {
  case model::RequestKind::addButton:
    return model::addButtonAnswer(m.nextButtonId++);
  case model::RequestKind::getChatContact:
    return model::chatContactAnswer(m.chatContact);
  default:
    return model::emptyAnswer();
  }
}

// The request must be well formed and end with its last field.
void take(Messenger &m, std::string_view framed) {
  model::Request &q = m.request;
  model::decodeRequest(framed, q);
  expect(q.problem.empty(), "a malformed request");
  expect(q.trailing == 0, "a request runs on past its last field");
  expect(q.field == 0, "sendMessage carries a nonzero field at offset 10");
  ++m.requestCount;
  m.last = q.kind;
  m.lastText = q.text;
  m.lastIdOrContact = q.kind == model::RequestKind::sendMessage ? q.contact : q.buttonId;
  if (q.kind == model::RequestKind::addButton) m.handlers.push_back(q.handler);
}

} // namespace

const std::vector<std::uint8_t> *answer(std::string_view framed) {
  Messenger &m = messenger();
  take(m, framed);
  std::string given;
  switch (m.answers.byte()) {
  case 1:
    break;
  case 2:
    given = model::framed(m.answers.take(m.answers.byte()));
    break;
  default:
    given = properAnswer(m);
    break;
  }
  m.answer.assign(given.begin(), given.end());
  if (m.last == model::RequestKind::getChatContact) m.chatContactGiven = model::intAt(given, 5);
  return m.answer.empty() ? nullptr : &m.answer;
}

const void *WINAPI messengerCallback(const void *framedRequest) {
  std::string_view framed = model::framedAt(framedRequest).bytes;
  expect(framed.data() == replyBuffer.data() && framed.size() == replyBuffer.size(),
         "a request is not the framed reply buffer");
  const std::vector<std::uint8_t> *given = answer(framed);
  return given ? given->data() : nullptr;
}

std::uint32_t messengerCallbackAddress() {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&messengerCallback));
}

void press(std::uint32_t handler) {
  reinterpret_cast<ButtonHandler>(std::uintptr_t{handler})();
}

namespace {

LRESULT timeAnswer(const PlayerAnswers &answers, WPARAM wParam) {
  if (wParam > 1) return 0;
  return wParam == 0 ? answers.positionMs : answers.lengthSeconds;
}

} // namespace

HWND addPlayer(const std::string &caption, const PlayerAnswers &answers) {
  return sim::addWindow(playerClass, caption,
                        [answers](UINT message, WPARAM wParam, LPARAM lParam) {
                          if (message != WM_USER) return LRESULT{0};
                          if (lParam == 104) return LRESULT{answers.state};
                          if (lParam == 105) return timeAnswer(answers, wParam);
                          if (lParam == 125) return LRESULT{answers.playlistIndex};
                          if (lParam == 212) return LRESULT{answers.titleAddress};
                          if (lParam != 126) return LRESULT{0};
                          switch (wParam) {
                          case 0:
                            return LRESULT{answers.sampleRate};
                          case 1:
                            return LRESULT{answers.bitRate};
                          case 2:
                            return LRESULT{answers.channels};
                          default:
                            return LRESULT{0};
                          }
                        });
}

namespace {

std::string dword(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

} // namespace

std::string aimpBlock(const AimpHeader &h, const AimpTexts &texts,
                      const std::array<std::uint32_t, 6> *lengths) {
  std::string block = dword(h.headerSize) + dword(h.active) + dword(h.bitRate) + dword(h.channels) +
                      dword(h.duration) + std::string(8, '\0') + dword(0) + dword(h.sampleRate) +
                      dword(h.trackNumber);
  for (std::size_t i = 0; i < texts.size(); ++i)
    block += dword(lengths ? (*lengths)[i] : static_cast<std::uint32_t>(texts[i].size()));
  block += std::string(24, '\xEE'); // the reserved words, never to be read
  for (const std::u16string &text : texts)
    for (char16_t c : text) block += {static_cast<char>(c), static_cast<char>(c >> 8)};
  block.resize(2048, '\0');
  return block;
}

HWND addAimp(const std::string &block, const PlayerAnswers &answers) {
  sim::createFileMapping("AIMP2_RemoteInfo", block);
  return sim::addWindow("AIMP2_RemoteInfo", "", [answers](UINT message, WPARAM wParam, LPARAM) {
    if (message != aimpProperty) return LRESULT{0};
    if (wParam == 0x20) return LRESULT{answers.positionMs};
    return wParam == 0x30 ? LRESULT{answers.lengthSeconds} : LRESULT{0};
  });
}

Scratch::Scratch() {
  std::string dir = (std::filesystem::temp_directory_path() / "quib-XXXXXX").string();
  expect(mkdtemp(dir.data()) != nullptr, "cannot make a scratch directory");
  path_ = dir;
  std::filesystem::create_directories(path_ / "plugins");
  // The default player program, so that launches find something to start.
  std::string player = defaultPlayer;
  std::replace(player.begin(), player.end(), '\\', '/');
  std::filesystem::create_directories((path_ / player).parent_path());
  std::ofstream(path_ / player, std::ios::binary);
}

Scratch::~Scratch() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

InDirectory::InDirectory(const std::filesystem::path &dir)
    : previous_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}

InDirectory::~InDirectory() {
  std::error_code ignored;
  std::filesystem::current_path(previous_, ignored);
}

void writeSettings(std::string_view text) {
  std::ofstream("plugins/QUIB_Ctl.ini", std::ios::binary | std::ios::trunc)
      .write(text.data(), static_cast<std::streamsize>(text.size()));
}

void removeSettings() {
  std::error_code ignored;
  std::filesystem::remove("plugins/QUIB_Ctl.ini", ignored);
}

} // namespace driver
