#include "fuzz/driver.h"

#include "host/buttons.h"
#include "mixer/mute.h"
#include "player/commands.h"
#include "player/window.h"
#include "settings/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace driver {

void fail(const char *what) {
  std::fprintf(stderr, "driver: %s\n", what);
  std::abort();
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

std::string le32(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}

std::uint32_t le32At(const std::uint8_t *p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

std::vector<std::uint8_t> framed(std::string_view body) {
  std::string whole = le32(static_cast<std::uint32_t>(body.size())).append(body);
  return std::vector<std::uint8_t>(whole.begin(), whole.end());
}

void unload() {
  hostCallback = nullptr;
  replyBuffer.clear();
  settings = Settings{};
  buttonIds.fill(0);
  playerWindow = nullptr;
  volumeLevel = 0;
  muteState = false;
  sim::reset();
  messenger() = Messenger{};
}

Messenger &messenger() {
  static Messenger m;
  return m;
}

namespace {

// The request's text field, whose length must close the record exactly.
std::string_view textOf(const std::uint8_t *request, std::uint32_t n) {
  expect(n >= 14 && le32At(request + 14) == n - 14, "a text field does not end the request");
  return {reinterpret_cast<const char *>(request + 18), n - 14};
}

void answerProperly(Messenger &m) {
  switch (m.last) {
  case Request::addButton:
    m.answer.assign({4, 0, 0, 0});
    for (char c : le32(static_cast<std::uint32_t>(m.nextButtonId++)))
      m.answer.push_back(static_cast<std::uint8_t>(c));
    break;
  case Request::getChatContact:
    m.answer.assign({5, 0, 0, 0, 1});
    for (char c : le32(static_cast<std::uint32_t>(m.chatContact)))
      m.answer.push_back(static_cast<std::uint8_t>(c));
    break;
  default:
    m.answer.assign({0, 0, 0, 0});
    break;
  }
}

} // namespace

const void *WINAPI messengerCallback(const void *framedRequest) {
  const auto *p = static_cast<const std::uint8_t *>(framedRequest);
  expect(p == reinterpret_cast<const std::uint8_t *>(replyBuffer.data()) &&
             replyBuffer.size() >= 6 && le32At(p) == replyBuffer.size() - 4,
         "a request is not the framed reply buffer");
  std::uint32_t n = le32At(p);
  Messenger &m = messenger();
  ++m.requestCount;
  switch (p[4] << 8 | p[5]) {
  case 0x05C9:
    m.last = Request::addButton;
    m.lastText = textOf(p, n);
    m.handlers.push_back(le32At(p + 6));
    break;
  case 0x05CA:
    m.last = Request::updateButton;
    m.lastText = textOf(p, n);
    m.lastIdOrContact = static_cast<std::int32_t>(le32At(p + 6));
    break;
  case 0x05CB:
    expect(n == 6, "removeButton is not 6 bytes long");
    m.last = Request::removeButton;
    m.lastIdOrContact = static_cast<std::int32_t>(le32At(p + 6));
    break;
  case 0x01C9:
    expect(n == 2, "getChatContact is not 2 bytes long");
    m.last = Request::getChatContact;
    break;
  case 0x0501:
    m.last = Request::sendMessage;
    m.lastText = textOf(p, n);
    m.lastIdOrContact = static_cast<std::int32_t>(le32At(p + 6));
    expect(le32At(p + 10) == 0, "sendMessage carries a nonzero field at offset 10");
    break;
  default:
    fail("a request with unknown header bytes");
  }
  switch (m.answers.byte()) {
  case 1:
    m.answer.clear();
    break;
  case 2:
    m.answer = framed(m.answers.take(m.answers.byte()));
    break;
  default:
    answerProperly(m);
    break;
  }
  if (m.last == Request::getChatContact)
    m.chatContactGiven = m.answer.size() >= 9
                             ? std::optional(static_cast<std::int32_t>(le32At(m.answer.data() + 5)))
                             : std::nullopt;
  return m.answer.empty() ? nullptr : m.answer.data();
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
