#include "harness.h"

#include <algorithm>
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

struct Current {
  const PluginUnderTest *build = &nativePlugin();
  std::filesystem::path dir;
  std::filesystem::path previousDir;
};

Current &current() {
  static Current c;
  return c;
}

HostRequest decode(std::string_view framed) {
  model::Request r = model::decodeRequest(framed);
  HostRequest q;
  q.framed = r.framed;
  q.kind = r.problem.empty() ? model::nameOf(r.kind) : "?";
  q.idOrContact = r.kind == model::RequestKind::sendMessage ? r.contact : r.buttonId;
  q.handler = r.handler;
  // The icon is destroyed once the messenger has answered: its resource id is looked up now.
  q.iconId = plugin().iconIdOf(r.icon);
  q.text = r.text;
  return q;
}

} // namespace

const PluginUnderTest &plugin() {
  return *current().build;
}

const std::string *answerRequest(std::string_view framedRequest) {
  FakeMessenger &m = messenger();
  m.requests.push_back(decode(framedRequest));
  if (m.nullAnswers) return nullptr;
  const std::string &kind = m.requests.back().kind;
  if (kind == "addButton")
    m.answer = model::addButtonAnswer(m.nextButtonId++);
  else if (kind == "getChatContact")
    m.answer = model::chatContactAnswer(m.chatContact);
  else
    m.answer = model::emptyAnswer();
  return &m.answer;
}

std::string event(int kind, int code, const std::string &fields) {
  return model::event(static_cast<std::uint8_t>(kind), static_cast<std::uint8_t>(code), fields);
}

std::uint32_t callbackAddress() {
  return plugin().callbackAddress();
}

std::string initialiseEvent() {
  return model::initialiseEvent(callbackAddress());
}

std::string messageEvent(std::int32_t sender, const std::string &text) {
  return model::messageEvent(sender, text, '\x55');
}

std::uintptr_t deliverAt(const std::string &eventRecord) {
  return plugin().pluginFun(eventRecord);
}

std::string deliver(const std::string &eventRecord) {
  std::uintptr_t answer = deliverAt(eventRecord);
  return answer ? plugin().framedAt(answer) : std::string();
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
      plugin().press(q.handler);
      return;
    }
  FAIL() << "no button registered at position " << registration;
}

std::vector<std::string> requestKinds() {
  std::vector<std::string> kinds;
  for (const HostRequest &q : messenger().requests) kinds.push_back(q.kind);
  return kinds;
}

std::string keywordAnswerWith(const std::string &lines) {
  initialiseWith("autoanswer-key=np\r\n" + lines);
  sim::sentMessages().clear();
  messenger().requests.clear();
  deliver(messageEvent(9, "np"));
  if (requestKinds() != std::vector<std::string>{"sendMessage"}) return "(no line)";
  return messenger().requests[0].text;
}

std::vector<Msg> sent() {
  std::vector<Msg> out;
  for (const sim::SentMessage &m : sim::sentMessages())
    out.emplace_back(m.window, m.message, m.wParam, m.lParam);
  return out;
}

void touch(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  std::filesystem::path p(path);
  if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
  std::ofstream(p) << "MZ";
}

void setUpPluginTest(const PluginUnderTest &build) {
  Current &c = current();
  c.build = &build;
  sim::reset();
  messenger() = FakeMessenger{};
  c.previousDir = std::filesystem::current_path();
  static int testNumber = 0;
  c.dir = std::filesystem::temp_directory_path() /
          ("quib-test-" + std::to_string(::getpid()) + "-" + std::to_string(++testNumber));
  std::filesystem::remove_all(c.dir);
  std::filesystem::create_directories(c.dir);
  std::filesystem::current_path(c.dir);
  build.load(answerRequest);
}

void tearDownPluginTest() {
  Current &c = current();
  plugin().unload();
  std::filesystem::current_path(c.previousDir);
  std::filesystem::remove_all(c.dir);
  EXPECT_EQ(sim::liveIcons(), 0) << "an icon handle outlived its request";
  EXPECT_EQ(sim::openFiles(), 0);
  EXPECT_EQ(sim::openRegistryKeys(), 0);
  EXPECT_EQ(sim::openMappings(), 0) << "a file mapping's handle was left open";
  EXPECT_EQ(sim::mappedViews(), 0) << "a view of a file mapping was left mapped";
  EXPECT_EQ(sim::comReferences(), (sim::ComReferences{0, 0, 0})) << "a COM interface was kept";
  EXPECT_EQ(sim::unbalancedComInitialisations(), 0);
  EXPECT_EQ(sim::coreAudio().misuses, std::vector<std::string>{});
  EXPECT_EQ(sim::openProcesses(), 0) << "a process handle was left open";
}
