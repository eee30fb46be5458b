#include "harness.h"

#include "host/requests.h"
#include "tests/native_plugin.h"

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

FakeMessenger &messenger() {
  static FakeMessenger m;
  return m;
}

namespace {

HostRequest decode(std::string_view framed) {
  model::Request r = model::decodeRequest(framed);
  HostRequest q;
  q.framed = r.framed;
  q.kind = r.problem.empty() ? model::nameOf(r.kind) : "?";
  q.idOrContact = r.kind == model::RequestKind::sendMessage ? r.contact : r.buttonId;
  q.handler = r.handler;
  // The icon is destroyed once the messenger has answered: its resource id is looked up now.
  q.iconId = sim::iconIdOf(reinterpret_cast<HICON>(std::uintptr_t{r.icon}));
  q.text = r.text;
  return q;
}

} // namespace

const void *WINAPI fakeHostCallback(const void *framedRequest) {
  FakeMessenger &m = messenger();
  m.requests.push_back(decode(model::framedAt(framedRequest).bytes));
  if (m.nullAnswers) return nullptr;
  const std::string &kind = m.requests.back().kind;
  if (kind == "addButton")
    m.answer = model::addButtonAnswer(m.nextButtonId++);
  else if (kind == "getChatContact")
    m.answer = model::chatContactAnswer(m.chatContact);
  else
    m.answer = model::emptyAnswer();
  return m.answer.data();
}

std::string event(int kind, int code, const std::string &fields) {
  return model::event(static_cast<std::uint8_t>(kind), static_cast<std::uint8_t>(code), fields);
}

std::uint32_t fakeCallbackAddress() {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&fakeHostCallback));
}

std::string initialiseEvent() {
  return model::initialiseEvent(fakeCallbackAddress());
}

std::string messageEvent(std::int32_t sender, const std::string &text) {
  return model::messageEvent(sender, text, '\x55');
}

std::string deliver(const std::string &eventRecord) {
  return model::decodeAnswer(pluginFun(eventRecord.data())).framed;
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

void PluginTest::SetUp() {
  unloadNativePlugin();
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
  unloadNativePlugin();
}
