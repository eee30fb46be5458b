// The plug-in's paths timed on the native build, with the heap allocations of each iteration.
#include "tests/model/heap.h"
#include "fuzz/driver.h"
#include "host/QUIB_Ctl.h"
#include "settings/settings.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const std::string allButtons = "button-send=yes\r\nbutton-prev=yes\r\nbutton-rew=yes\r\n"
                               "button-play=yes\r\nbutton-fwd=yes\r\nbutton-next=yes\r\n"
                               "button-open=yes\r\nbutton-mute=yes\r\nbutton-v_dn=yes\r\n"
                               "button-v_up=yes\r\nautoanswer-key=np\r\n"
                               "custom-player=C:\\Program Files\\Winamp\\Winamp.exe\r\n";
constexpr std::size_t muteRow = 7;
constexpr std::size_t louderRow = 9;
constexpr std::int32_t sender = 42;

driver::Scratch &scratch() {
  static driver::Scratch s;
  return s;
}

std::vector<std::uint8_t> initialiseEvent() {
  return driver::exactCopy(model::initialiseEvent(driver::messengerCallbackAddress()));
}

std::vector<std::uint8_t> messageEvent(std::string_view text) {
  return driver::exactCopy(model::messageEvent(sender, text));
}

std::vector<std::uint8_t> event(std::uint8_t code) {
  return driver::exactCopy(model::event(model::pluginEventKind, code));
}

// A freshly loaded plug-in, initialised with every button and the keyword "np", and a player
// showing the worked example.
void loadPlugin() {
  driver::unload();
  driver::writeSettings(allButtons);
  pluginFun(initialiseEvent().data());
  driver::addPlayer("12. Some Artist - Some Song - Winamp", {});
  driver::expect(driver::messenger().handlers.size() == 10, "not every button was registered");
}

// Counts the heap allocations of the timed loop and reports them per iteration.
class AllocationCount {
public:
  explicit AllocationCount(benchmark::State &state) : state_(state), start_(heapAllocations()) {}
  ~AllocationCount() {
    state_.counters["allocs"] = benchmark::Counter(static_cast<double>(heapAllocations() - start_),
                                                   benchmark::Counter::kAvgIterations);
  }
  AllocationCount(const AllocationCount &) = delete;
  AllocationCount &operator=(const AllocationCount &) = delete;

private:
  benchmark::State &state_;
  std::uint64_t start_;
};

void messageNotKeyword(benchmark::State &state) {
  driver::InDirectory inScratch(scratch().path());
  loadPlugin();
  std::vector<std::uint8_t> message = messageEvent(std::string(64, 'm'));
  {
    AllocationCount count(state);
    for (auto _ : state) benchmark::DoNotOptimize(pluginFun(message.data()));
  }
  driver::expect(driver::messenger().requestCount == 10, "a plain message made a request");
}
BENCHMARK(messageNotKeyword);

void keywordHitWithReport(benchmark::State &state) {
  driver::InDirectory inScratch(scratch().path());
  loadPlugin();
  std::vector<std::uint8_t> message = messageEvent("np");
  {
    AllocationCount count(state);
    for (auto _ : state) {
      benchmark::DoNotOptimize(pluginFun(message.data()));
      sim::sentMessages().clear();
    }
  }
  driver::expect(driver::messenger().lastText ==
                     ">Winamp: 12. Some Artist - Some Song (44KHz/128kbps/stereo)",
                 "the keyword did not send the report");
}
BENCHMARK(keywordHitWithReport);

// AIMP alone, the plug-in choosing it: the line from its shared block, Cyrillic converted.
void keywordHitFromAimp(benchmark::State &state) {
  driver::InDirectory inScratch(scratch().path());
  driver::unload();
  driver::writeSettings(allButtons);
  pluginFun(initialiseEvent().data());
  driver::addAimp(driver::aimpBlock({}, {u"", u"Исполнитель", u"", u"C:\\x.mp3", u"", u"Песня"}),
                  {});
  std::vector<std::uint8_t> message = messageEvent("np");
  {
    AllocationCount count(state);
    for (auto _ : state) {
      benchmark::DoNotOptimize(pluginFun(message.data()));
      sim::mappingOpens().clear();
    }
  }
  driver::expect(driver::messenger().lastText ==
                     ">AIMP: \xC8\xF1\xEF\xEE\xEB\xED\xE8\xF2\xE5\xEB\xFC - "
                     "\xCF\xE5\xF1\xED\xFF (44KHz/320kbps/stereo)",
                 "the keyword did not send AIMP's line");
}
BENCHMARK(keywordHitFromAimp);

void initialiseAllButtons(benchmark::State &state) {
  driver::InDirectory inScratch(scratch().path());
  loadPlugin();
  std::vector<std::uint8_t> initialise = initialiseEvent();
  {
    AllocationCount count(state);
    for (auto _ : state) {
      driver::messenger().handlers.clear();
      sim::fileOpens().clear();
      benchmark::DoNotOptimize(pluginFun(initialise.data()));
    }
  }
  driver::expect(driver::messenger().handlers.size() == 10, "not every button was registered");
}
BENCHMARK(initialiseAllButtons)->Unit(benchmark::kMicrosecond);

void finaliseTenButtons(benchmark::State &state) {
  driver::InDirectory inScratch(scratch().path());
  loadPlugin();
  std::vector<std::uint8_t> finalise = event(2);
  std::size_t before = driver::messenger().requestCount;
  {
    AllocationCount count(state);
    for (auto _ : state) benchmark::DoNotOptimize(pluginFun(finalise.data()));
  }
  driver::expect(driver::messenger().requestCount - before ==
                     10 * static_cast<std::size_t>(state.iterations()),
                 "finalise did not remove ten buttons");
}
BENCHMARK(finaliseTenButtons);

void pressLouder(benchmark::State &state) {
  driver::InDirectory inScratch(scratch().path());
  loadPlugin();
  std::uint32_t louder = driver::messenger().handlers[louderRow];
  {
    AllocationCount count(state);
    for (auto _ : state) {
      driver::press(louder);
      sim::sentMessages().clear();
    }
  }
}
BENCHMARK(pressLouder);

// Mute and unmute in turn through the simulated Core Audio, whose records are emptied every
// time so that only the plug-in's own allocations count.
void pressMuteThroughCoreAudio(benchmark::State &state) {
  driver::InDirectory inScratch(scratch().path());
  loadPlugin();
  sim::installCoreAudio();
  std::uint32_t mute = driver::messenger().handlers[muteRow];
  sim::CoreAudio &audio = sim::coreAudio();
  {
    AllocationCount count(state);
    for (auto _ : state) {
      driver::press(mute);
      audio.calls.clear();
      audio.initialiseResults.clear();
      audio.createContexts.clear();
      audio.endpointRequests.clear();
      audio.activateContexts.clear();
      audio.setMutes.clear();
    }
  }
  driver::expect(sim::mixer().flags.empty() && sim::comReferences() == sim::ComReferences{0, 0, 0},
                 "the press did not go through Core Audio alone");
}
BENCHMARK(pressMuteThroughCoreAudio);

void parse(benchmark::State &state, const std::string &text) {
  {
    AllocationCount count(state);
    for (auto _ : state) parseSettings(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
  settings = Settings{};
}

void parseSettings12Lines(benchmark::State &state) {
  parse(state, allButtons);
}
BENCHMARK(parseSettings12Lines);

void parseSettings1MB(benchmark::State &state) {
  std::string text;
  while (text.size() < (1u << 20)) text += allButtons + "; a comment\r\n[Section]\r\n";
  parse(state, text);
}
BENCHMARK(parseSettings1MB)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
