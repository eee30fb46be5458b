#include "harness.h"

#include "host/buttonids.h"
#include "host/requests.h"
#include "mixer/mute.h"
#include "player/volume.h"
#include "player/window.h"
#include "settings/settings.h"

#include <fstream>
#include <unistd.h>

std::string bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

std::string hex(const std::string &s) {
  static const char *digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(digits[c >> 4]);
    out.push_back(digits[c & 15]);
  }
  return out;
}

Record recordOf(const std::string &s) {
  return {reinterpret_cast<const std::uint8_t *>(s.data()), s.size()};
}

FakeMessenger &messenger() {
  static FakeMessenger m;
  return m;
}

namespace {

HostRequest decode(const std::string &framed) {
  Record r = recordOf(framed);
  HostRequest q;
  q.framed = framed;
  q.kind = "?";
  int h0 = byteAt(r, 4), h1 = byteAt(r, 5);
  auto iconOf = [&] {
    return sim::iconIdOf(reinterpret_cast<HICON>(std::uintptr_t{pointerAt(r, 10)}));
  };
  if (h0 == 0x05 && h1 == 0xC9) {
    q.kind = "addButton";
    q.handler = pointerAt(r, 6);
    q.iconId = iconOf();
    q.text = std::string(stringAt(r, 14));
  } else if (h0 == 0x05 && h1 == 0xCA) {
    q.kind = "updateButton";
    q.idOrContact = intAt(r, 6);
    q.iconId = iconOf();
    q.text = std::string(stringAt(r, 14));
  } else if (h0 == 0x05 && h1 == 0xCB) {
    q.kind = "removeButton";
    q.idOrContact = intAt(r, 6);
  } else if (h0 == 0x01 && h1 == 0xC9) {
    q.kind = "getChatContact";
  } else if (h0 == 0x05 && h1 == 0x01) {
    q.kind = "sendMessage";
    q.idOrContact = intAt(r, 6);
    q.text = std::string(stringAt(r, 14));
  }
  return q;
}

} // namespace

const void *WINAPI fakeHostCallback(const void *framedRequest) {
  FakeMessenger &m = messenger();
  Record r = framedAt(framedRequest);
  std::string framed(reinterpret_cast<const char *>(r.data), r.size);
  m.requests.push_back(decode(framed));
  if (m.nullAnswers) return nullptr;
  const std::string &kind = m.requests.back().kind;
  if (kind == "addButton")
    m.answer = packInt(4) + packInt(m.nextButtonId++);
  else if (kind == "getChatContact")
    m.answer = packInt(5) + "\x01" + packInt(m.chatContact);
  else
    m.answer = packInt(1) + "\x00";
  return m.answer.data();
}

std::string event(int kind, int code, const std::string &fields) {
  std::string body = bytes({kind, code}) + fields;
  return packInt(static_cast<std::int32_t>(body.size())) + body;
}

std::string initialiseEvent() {
  return event(3, 1, packInt(packedAddress(reinterpret_cast<std::uintptr_t>(&fakeHostCallback))));
}

std::string messageEvent(std::int32_t sender, const std::string &text) {
  return event(3, 6, packInt(sender) + std::string(12, '\x55') + packString(text));
}

std::string deliver(const std::string &eventRecord) {
  const void *answer = pluginFun(eventRecord.data());
  if (!answer) return {};
  Record r = framedAt(answer);
  return std::string(reinterpret_cast<const char *>(r.data), r.size);
}

void writeSettings(const std::string &text) {
  std::filesystem::create_directories("plugins");
  std::ofstream("plugins/QUIB_Ctl.ini", std::ios::binary) << text;
}

std::string initialiseWith(const std::string &settingsText) {
  writeSettings(settingsText);
  return deliver(initialiseEvent());
}

void press(std::size_t registration) {
  std::size_t seen = 0;
  for (const HostRequest &q : std::vector<HostRequest>(messenger().requests))
    if (q.kind == "addButton" && seen++ == registration) {
      reinterpret_cast<ButtonHandler>(std::uintptr_t{q.handler})();
      return;
    }
  FAIL() << "no button registered at position " << registration;
}

std::vector<std::string> requestKinds() {
  std::vector<std::string> kinds;
  for (const HostRequest &q : messenger().requests) kinds.push_back(q.kind);
  return kinds;
}

void unloadPlugin() {
  hostCallback = nullptr;
  replyBuffer.clear();
  settings = Settings{};
  buttonIds.fill(0);
  playerWindow = nullptr;
  volumeLevel = 0;
  muteState = false;
}

void PluginTest::SetUp() {
  unloadPlugin();
  sim::reset();
  messenger() = FakeMessenger{};
  previousDir = std::filesystem::current_path();
  static int testNumber = 0;
  dir = std::filesystem::temp_directory_path() /
        ("quib-test-" + std::to_string(::getpid()) + "-" + std::to_string(++testNumber));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);
}

void PluginTest::TearDown() {
  std::filesystem::current_path(previousDir);
  std::filesystem::remove_all(dir);
  EXPECT_EQ(sim::liveIcons(), 0) << "an icon handle outlived its request";
  EXPECT_EQ(sim::openFiles(), 0);
  EXPECT_EQ(sim::openRegistryKeys(), 0);
  unloadPlugin();
}
