// Every saved input of the event-sequence fuzz target, replayed once on the shipped DLL under
// emulation: the same machine, messenger and steps as on the native build, with the calling
// conventions checked at every crossing and every record ending at an unmapped page. Each input
// is a test of its own, named after its file.
#include "fuzz/events_input.h"
#include "tests/emulator/dll.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::optional<std::string> answerFromDriver(std::string_view framedRequest) {
  const std::vector<std::uint8_t> *answer = driver::answer(framedRequest);
  if (!answer) return std::nullopt;
  return std::string(answer->begin(), answer->end());
}

void deliver(std::string_view record, std::string_view) {
  if (emu::Addr answer = emu::dll::pluginFun(record)) {
    std::string framed = emu::read(answer, 4 + std::size_t{emu::read32(answer)});
    driver::expect(model::decodeAnswer(framed.data()).problem.empty(), "a malformed answer");
  }
}

const events::Plugin emulatedPlugin{
    emu::dll::hostCallback,
    deliver,
    [] { driver::expect(emu::dll::pluginFunWithNull() == 0, "a null event was answered"); },
    emu::dll::press,
};

// Runs one input on a freshly loaded DLL and unloads it again; gives everything that went wrong,
// or the empty text.
std::string replay(const std::string &input, const events::Plugin &plugin) {
  std::string problems;
  auto note = [&](const std::string &what) { problems += (problems.empty() ? "" : "; ") + what; };
  driver::Scratch scratch;
  driver::InDirectory inScratch(scratch.path());
  driver::unload();
  emu::dll::load(emu::dll::productPath(), answerFromDriver);
  driver::Cursor in(input);
  driver::throwFindings(true);
  try {
    events::run(in, plugin);
  } catch (const std::exception &e) {
    note(e.what());
  }
  driver::throwFindings(false);
  if (sim::liveIcons()) note("an icon handle was left");
  if (sim::openFiles()) note("a file was left open");
  if (sim::openRegistryKeys()) note("a registry key was left open");
  bool faulted = emu::dll::faulted();
  for (const emu::heap::Block &b : emu::dll::unload())
    if (b.phase != "attach" && !faulted)
      note(std::to_string(b.size) + " bytes left on the heap from " + b.phase);
  return problems;
}

std::string contentsOf(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::filesystem::path> corpus() {
  std::vector<std::filesystem::path> inputs;
  for (const auto &entry : std::filesystem::directory_iterator(QUIB_EVENTS_CORPUS))
    inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

// A test name of the file's name: letters and digits, anything else an underscore.
std::string testName(const std::filesystem::path &file) {
  std::string name = file.filename().string();
  std::replace_if(
      name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
  return name;
}

class Replay : public ::testing::TestWithParam<std::filesystem::path> {};

TEST_P(Replay, WithoutAFaultOrALeak) {
  EXPECT_EQ(replay(contentsOf(GetParam()), emulatedPlugin), "") << GetParam().filename();
}

INSTANTIATE_TEST_SUITE_P(EmulatedDllCorpus, Replay, ::testing::ValuesIn(corpus()),
                         [](const auto &info) { return testName(info.param); });

// A finding in one input is that input's failure: the replay reports what was wrong, and the next
// input runs on a fresh DLL.
TEST(EmulatedDllCorpusReplay, AFindingFailsItsInputAndTheNextOneStillRuns) {
  std::vector<std::filesystem::path> inputs = corpus();
  ASSERT_FALSE(inputs.empty());
  events::Plugin findsFault = emulatedPlugin;
  findsFault.deliver = [](std::string_view, std::string_view) {
    driver::expect(false, "the answer broke an expectation");
  };
  std::string input = contentsOf(inputs.front());
  EXPECT_EQ(replay(input, findsFault), "the answer broke an expectation");
  EXPECT_EQ(replay(input, emulatedPlugin), "");
}

} // namespace
