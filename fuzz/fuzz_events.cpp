// Event records of every shape through pluginFun, in sequences, with a settings file, a
// player, a mixer and a messenger's answers that the input makes up.
//
// Input, little-endian; a text is a u16 byte count and that many bytes:
//   u8    machine: 1 the settings file exists, 2 the player runs, 4 the player is hung,
//         8 a launched player comes up, 16 the registry names a player program,
//         32 no mixer, 64 no speakers line, 128 no mute control
//   text  settings file
//   text  player caption
//   i32×4 player answers: playing state, sample rate, bit rate, channels
//   u8    lookups after a launch before the player's window appears
//   text  the registered open command
//   text  the messenger's answers (driver::Messenger::answers)
//   then steps to the end, u8 op % 3: 0 an event record, its bytes after the length word as a
//   text; 1 a press of the registered handler u8 % count; 2 a null event.
// An initialise event's callback field, unless it is zero, becomes the messenger's callback.
#include "fuzz/driver.h"
#include "host/QUIB_Ctl.h"
#include "player/messages.h"
#include "settings/settings.h"

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr std::uint8_t settingsExist = 1, playerRuns = 2, playerHung = 4, launchWorks = 8,
                       registryNamesPlayer = 16, noMixer = 32, noSpeakers = 64, noMute = 128;
// The longest that one event or press may hold the messenger's thread in sleeps: nine lookups
// 750 ms apart and 200 ms to settle.
constexpr std::uint64_t longestLaunchWaitMs = 9 * 750 + 200;

const std::string initialiseAnswer =
    model::framed("\x02" + model::packed("XQ Winamp Control, v0.96a") + model::le32(4));

struct Player {
  std::string caption;
  driver::PlayerAnswers answers;
  bool hung = false;
  int lookupsUntilUp = -1; // after a launch: the lookups until the window appears; -1: none

  void start() {
    HWND window = driver::addPlayer(caption, answers);
    sim::setHung(window, hung);
  }
};

driver::Scratch &scratch() {
  static driver::Scratch s;
  return s;
}

void setUpMachine(driver::Cursor &in, Player &player) {
  std::uint8_t machine = in.byte();
  std::string_view settingsText = in.text();
  if (machine & settingsExist)
    driver::writeSettings(settingsText);
  else
    driver::removeSettings();
  player.caption = in.text();
  player.answers = {in.i32(), in.i32(), in.i32(), in.i32()};
  player.hung = machine & playerHung;
  if (machine & playerRuns) player.start();
  std::uint8_t lookups = in.byte();
  if (machine & launchWorks)
    sim::onShellExecute() = [&player, lookups](const sim::ShellCall &call) {
      if (call.file == "notepad.exe") return;
      player.lookupsUntilUp = lookups;
      if (lookups == 0) player.start();
    };
  sim::onSleep() = [&player](DWORD) {
    if (player.lookupsUntilUp > 0 && --player.lookupsUntilUp == 0) player.start();
  };
  std::string_view command = in.text();
  if (machine & registryNamesPlayer)
    sim::setRegistryValue(HKEY_CLASSES_ROOT, "Winamp.File\\Shell\\open\\command", "",
                          std::string(command));
  sim::mixer().present = !(machine & noMixer);
  sim::mixer().hasSpeakers = !(machine & noSpeakers);
  sim::mixer().hasMute = !(machine & noMute);
  driver::messenger().answers = driver::Cursor(in.text());
}

std::string_view stripped(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// What pluginFun must answer, by the record's event kind and code.
void checkAnswer(std::string_view body, const void *answer) {
  bool initialise = body.size() >= 2 && body[0] == 3 && body[1] == 1;
  bool message = body.size() >= 2 && body[0] == 3 && body[1] == 6;
  if (!initialise && !message) {
    driver::expect(answer == nullptr, "an event that takes no answer was answered");
    return;
  }
  driver::expect(answer == replyBuffer.data() && replyBuffer.size() >= 5 &&
                     model::framedAt(answer).bytes.size() == replyBuffer.size(),
                 "the answer is not the framed reply buffer");
  if (initialise) {
    driver::expect(replyBuffer == initialiseAnswer, "a wrong initialise answer");
    driver::expect(!settings.customPlayer.empty(), "no player path after initialise");
    return;
  }
  model::Answer decoded = model::decodeAnswer(answer);
  bool handled = decoded.kind == model::AnswerKind::handled && decoded.trailing == 0;
  driver::expect(handled || (decoded.kind == model::AnswerKind::data && decoded.problem.empty() &&
                             decoded.trailing == 0 && decoded.ints.empty()),
                 "a malformed message answer");
  // The text's length field and bytes, when the record holds them whole (record offset 22).
  if (body.size() < 22) return;
  std::string record = model::framed(body);
  std::optional<std::string_view> whole = model::stringAt(record, 22);
  if (!whole) return;
  std::string_view text = stripped(*whole);
  const std::string &key = settings.autoanswerKey;
  bool isKey = CompareStringA(0, NORM_IGNORECASE, text.empty() ? "" : text.data(),
                              static_cast<int>(text.size()), key.data(),
                              static_cast<int>(key.size())) == CSTR_EQUAL;
  driver::expect(handled == isKey, "a message answered against its keyword comparison");
  driver::expect(handled || decoded.text == text, "a message answer without the stripped text");
}

void deliver(std::string_view fields) {
  std::string body(fields);
  // The messenger hands over its own callback; a zero field stays null.
  std::uint32_t callback = driver::messengerCallbackAddress();
  if (body.size() >= 6 && body[0] == 3 && body[1] == 1 && body.substr(2, 4) != std::string(4, '\0'))
    std::memcpy(body.data() + 2, &callback, 4);
  std::vector<std::uint8_t> record = driver::exactCopy(model::framed(body));
  checkAnswer(body, pluginFun(record.data()));
}

void step(driver::Cursor &in) {
  sim::sleeps().clear();
  switch (in.byte() % 3) {
  case 0:
    deliver(in.text());
    break;
  case 1: {
    std::uint8_t which = in.byte();
    const std::vector<std::uint32_t> &handlers = driver::messenger().handlers;
    if (!handlers.empty()) driver::press(handlers[which % handlers.size()]);
    break;
  }
  default:
    driver::expect(pluginFun(nullptr) == nullptr, "a null event was answered");
    break;
  }
  const std::vector<DWORD> &sleeps = sim::sleeps();
  driver::expect(std::accumulate(sleeps.begin(), sleeps.end(), std::uint64_t{0}) <=
                     longestLaunchWaitMs,
                 "the messenger's thread slept longer than a launch takes");
}

} // namespace

// Crash files are written while an input runs, in the scratch directory: unless told otherwise,
// keep them where the run was started.
extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
  static std::vector<char *> args(*argv, *argv + *argc);
  static std::string prefix = "-artifact_prefix=" + std::filesystem::current_path().string() + "/";
  bool given = false;
  for (const char *arg : args) given |= std::string_view(arg).starts_with("-artifact_prefix=");
  if (!given) args.push_back(prefix.data());
  *argc = static_cast<int>(args.size());
  args.push_back(nullptr);
  *argv = args.data();
  scratch();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  driver::InDirectory inScratch(scratch().path());
  driver::unload();
  driver::Cursor in(data, size);
  Player player;
  setUpMachine(in, player);
  while (!in.empty()) step(in);
  driver::expect(sim::liveIcons() == 0, "an icon handle outlived its request");
  driver::expect(sim::openFiles() == 0, "a file was left open");
  driver::expect(sim::openRegistryKeys() == 0, "a registry key was left open");
  driver::expect(sim::waitedOnHungMs() <= sim::sentMessages().size() * playerTimeoutMs,
                 "the messenger's thread waited on a hung player without a time limit");
  sim::onShellExecute() = nullptr;
  sim::onSleep() = nullptr;
  return 0;
}
