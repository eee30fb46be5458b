// Event records of every shape through pluginFun, in sequences, with a settings file, a
// player, a mixer and a messenger's answers that the input makes up; the input format is in
// events_input.h.
#include "fuzz/driver.h"
#include "fuzz/events_input.h"
#include "host/QUIB_Ctl.h"
#include "host/version.h"
#include "player/send.h"
#include "settings/settings.h"

#include <string>
#include <vector>

namespace {

const std::string initialiseAnswer = model::initialiseAnswer(QUIB_PRODUCT_NAME ", v" QUIB_VERSION);

driver::Scratch &scratch() {
  static driver::Scratch s;
  return s;
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
  bool isKey = CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE,
                              text.empty() ? "" : text.data(), static_cast<int>(text.size()),
                              key.data(), static_cast<int>(key.size())) == CSTR_EQUAL;
  driver::expect(handled == isKey, "a message answered against its keyword comparison");
  driver::expect(handled || decoded.text == text, "a message answer without the stripped text");
}

void deliver(std::string_view record, std::string_view body) {
  std::vector<std::uint8_t> copy = driver::exactCopy(record);
  checkAnswer(body, pluginFun(copy.data()));
}

const events::Plugin nativePlugin{
    driver::messengerCallbackAddress,
    deliver,
    [] { driver::expect(pluginFun(nullptr) == nullptr, "a null event was answered"); },
    driver::press,
};

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
  events::run(in, nativePlugin);
  driver::expect(sim::liveIcons() == 0, "an icon handle outlived its request");
  driver::expect(sim::openFiles() == 0, "a file was left open");
  driver::expect(sim::openRegistryKeys() == 0, "a registry key was left open");
  driver::expect(sim::openProcesses() == 0, "a process handle was left open");
  driver::expect(sim::waitedOnHungMs() <= sim::sentMessages().size() * playerTimeoutMs,
                 "the messenger's thread waited on a hung player without a time limit");
  return 0;
}
