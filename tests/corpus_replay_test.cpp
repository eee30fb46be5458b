// Every saved input of the event-sequence fuzz target, replayed once on the shipped DLL under
// emulation: the same machine, messenger and steps as on the native build, with the calling
// conventions checked at every crossing and every record ending at an unmapped page.
#include "fuzz/events_input.h"
#include "tests/emulator/dll.h"

#include <gtest/gtest.h>

#include <algorithm>
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

std::string contentsOf(const std::filesystem::path &file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(EmulatedDllCorpus, EveryEventSequenceReplaysWithoutAFaultOrALeak) {
  std::vector<std::filesystem::path> inputs;
  for (const auto &entry : std::filesystem::directory_iterator(QUIB_EVENTS_CORPUS))
    inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  ASSERT_FALSE(inputs.empty());
  for (const std::filesystem::path &input : inputs) {
    SCOPED_TRACE(input.filename().string());
    std::string bytes = contentsOf(input);
    driver::Scratch scratch;
    driver::InDirectory inScratch(scratch.path());
    driver::unload();
    emu::dll::load(emu::dll::productPath(), answerFromDriver);
    driver::Cursor in(bytes);
    EXPECT_NO_THROW(events::run(in, emulatedPlugin));
    EXPECT_EQ(sim::liveIcons(), 0);
    EXPECT_EQ(sim::openFiles(), 0);
    EXPECT_EQ(sim::openRegistryKeys(), 0);
    bool faulted = emu::dll::faulted();
    for (const emu::heap::Block &b : emu::dll::unload())
      EXPECT_TRUE(b.phase == "attach" || faulted) << b.size << " bytes left from " << b.phase;
  }
}

} // namespace
