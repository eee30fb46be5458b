// The mute button on Windows Vista and later: the default playback endpoint through Core
// Audio, and the mixer's way, exactly as on older systems, whenever a step of it fails.
#include "harness.h"
#include "toolbar.h"

#include <functional>

namespace {

const std::vector<std::string_view> pressThroughCoreAudio{
    "CoInitializeEx", "CoCreateInstance",        "GetDefaultAudioEndpoint", "Activate",
    "SetMute",        "Release endpoint volume", "Release device",          "Release enumerator",
    "CoUninitialize"};

struct Failure {
  const char *what;
  std::function<void(sim::CoreAudio &)> breakIt;
  std::vector<std::string_view> calls; // of Core Audio, COM's own excluded
};

const Failure failures[] = {
    {"class not registered", [](sim::CoreAudio &a) { a.registered = false; }, {"CoCreateInstance"}},
    {"no default endpoint",
     [](sim::CoreAudio &a) { a.defaultEndpoint = false; },
     {"CoCreateInstance", "GetDefaultAudioEndpoint", "Release enumerator"}},
    {"Activate fails",
     [](sim::CoreAudio &a) { a.activateResult = AUDCLNT_E_DEVICE_INVALIDATED; },
     {"CoCreateInstance", "GetDefaultAudioEndpoint", "Activate", "Release device",
      "Release enumerator"}},
    {"SetMute fails",
     [](sim::CoreAudio &a) { a.setMuteResult = E_FAIL; },
     {"CoCreateInstance", "GetDefaultAudioEndpoint", "Activate", "SetMute",
      "Release endpoint volume", "Release device", "Release enumerator"}},
};

struct ApartmentCase {
  const char *what;
  sim::Apartment before;
  HRESULT initialised;
  bool balanced; // the press calls CoUninitialize
};

const ApartmentCase apartments[] = {
    {"no COM on the thread", sim::Apartment::none, S_OK, true},
    {"single-threaded already", sim::Apartment::singleThreaded, S_FALSE, true},
    {"multithreaded already", sim::Apartment::multithreaded, RPC_E_CHANGED_MODE, false},
};

// Core Audio's calls without COM's own.
std::vector<std::string_view> audioCalls() {
  std::vector<std::string_view> calls;
  for (std::string_view c : sim::coreAudio().calls)
    if (c != "CoInitializeEx" && c != "CoUninitialize") calls.push_back(c);
  return calls;
}

class CoreAudioMute : public PluginTest {
protected:
  void SetUp() override {
    PluginTest::SetUp();
    sim::installCoreAudio();
    initialiseWith("button-mute=yes");
  }
  void expectLook(std::size_t request, int icon, const std::string &hint) {
    ASSERT_LT(request, messenger().requests.size());
    const HostRequest &q = messenger().requests[request];
    EXPECT_EQ(q.kind, "updateButton");
    EXPECT_EQ(q.iconId, icon);
    EXPECT_EQ(hex(q.text), hex(hint));
  }
  // A fresh Core Audio and mixer, the apartment as the messenger left it.
  void freshMachine(const ApartmentCase &apartment) {
    sim::resetCoreAudio();
    sim::installCoreAudio();
    sim::mixer() = sim::Mixer{};
    sim::messageBoxes().clear();
    sim::CoreAudio &a = sim::coreAudio();
    a.apartment = apartment.before;
    a.initialisations = apartment.before == sim::Apartment::none ? 0 : 1;
  }
};

TEST_P(CoreAudioMute, FirstPressMutesTheEndpointTheSecondUnmutesItTheMixerUntouched) {
  press(0);
  const sim::CoreAudio &a = sim::coreAudio();
  EXPECT_EQ(a.calls, pressThroughCoreAudio);
  EXPECT_TRUE(a.endpointMuted);
  ASSERT_EQ(a.setMutes.size(), 1u);
  EXPECT_EQ(a.setMutes[0].mute, TRUE);
  EXPECT_FALSE(a.setMutes[0].withContext);
  EXPECT_EQ(a.createContexts, std::vector<DWORD>{CLSCTX_INPROC_SERVER});
  EXPECT_EQ(a.activateContexts, std::vector<DWORD>{CLSCTX_INPROC_SERVER});
  EXPECT_EQ(a.endpointRequests, (std::vector<std::pair<EDataFlow, ERole>>{{eRender, eConsole}}));
  EXPECT_EQ(a.initialiseResults, std::vector<HRESULT>{S_OK});
  EXPECT_EQ(a.apartment, sim::Apartment::none);
  EXPECT_TRUE(sim::mixer().flags.empty());
  EXPECT_TRUE(sim::messageBoxes().empty());
  ASSERT_EQ(messenger().requests.size(), 2u);
  expectLook(1, 10, soundOnHint);
  press(0);
  EXPECT_FALSE(a.endpointMuted);
  ASSERT_EQ(a.setMutes.size(), 2u);
  EXPECT_EQ(a.setMutes[1].mute, FALSE);
  EXPECT_EQ(a.endpointRequests.size(), 2u); // looked up afresh at every press
  EXPECT_TRUE(sim::mixer().flags.empty());
  ASSERT_EQ(messenger().requests.size(), 3u);
  expectLook(2, 11, soundOffHint);
}

// S_FALSE: the endpoint already had the setting, e.g. muted by other means; it still took it.
TEST_P(CoreAudioMute, AnEndpointAlreadyMutedTakesTheSettingWithSFalse) {
  sim::coreAudio().endpointMuted = true;
  press(0);
  EXPECT_EQ(sim::coreAudio().setMutes.size(), 1u);
  EXPECT_TRUE(sim::coreAudio().endpointMuted);
  EXPECT_TRUE(sim::mixer().flags.empty());
  expectLook(1, 10, soundOnHint);
  press(0);
  EXPECT_FALSE(sim::coreAudio().endpointMuted);
  expectLook(2, 11, soundOffHint);
}

TEST_P(CoreAudioMute, EveryFailingStepFallsBackToTheMixerExactlyAsOnOlderSystems) {
  bool muted = false;
  for (const Failure &f : failures) {
    SCOPED_TRACE(f.what);
    freshMachine(apartments[0]);
    messenger().requests.resize(1);
    f.breakIt(sim::coreAudio());
    press(0);
    EXPECT_EQ(audioCalls(), f.calls);
    EXPECT_FALSE(sim::coreAudio().endpointMuted);
    const sim::Mixer &mx = sim::mixer();
    EXPECT_EQ(mx.flags, (std::vector<DWORD>{3, 2, 0}));
    EXPECT_EQ(mx.setValues, std::vector<LONG>{muted ? 0 : -1});
    ASSERT_EQ(mx.setRequests.size(), 1u);
    EXPECT_EQ(mx.setRequests[0].cbStruct, DWORD{sizeof(MIXERCONTROLDETAILS)});
    EXPECT_TRUE(sim::messageBoxes().empty());
    expectLook(1, muted ? 11 : 10, muted ? soundOffHint : soundOnHint);
    muted = !muted;
    // The mixer fails too: its one box, as today, and nothing changes.
    freshMachine(apartments[0]);
    messenger().requests.resize(1);
    f.breakIt(sim::coreAudio());
    sim::mixer().present = false;
    press(0);
    ASSERT_EQ(sim::messageBoxes().size(), 1u);
    const sim::MessageBoxCall &box = sim::messageBoxes()[0];
    EXPECT_EQ(box.text, "multimedia system error 2");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.flags, 0x2010u);
    EXPECT_EQ(messenger().requests.size(), 1u);
  }
}

// Whatever the apartment the messenger's thread is in, and wherever Core Audio stops: every
// interface released before COM is left, and COM left as it was found.
TEST_P(CoreAudioMute, ComIsBalancedAndEveryInterfaceReleasedWhateverTheApartment) {
  for (const ApartmentCase &apartment : apartments) {
    SCOPED_TRACE(apartment.what);
    std::vector<std::function<void(sim::CoreAudio &)>> machines{[](sim::CoreAudio &) {}};
    for (const Failure &f : failures) machines.push_back(f.breakIt);
    for (const auto &breakIt : machines) {
      freshMachine(apartment);
      breakIt(sim::coreAudio());
      press(0);
      const sim::CoreAudio &a = sim::coreAudio();
      EXPECT_EQ(a.initialiseResults, std::vector<HRESULT>{apartment.initialised});
      EXPECT_EQ(a.calls.front(), "CoInitializeEx");
      EXPECT_EQ(a.calls.back() == "CoUninitialize", apartment.balanced);
      EXPECT_EQ(std::count(a.calls.begin(), a.calls.end(), "CoUninitialize"),
                apartment.balanced ? 1 : 0);
      EXPECT_EQ(a.apartment, apartment.before);
      EXPECT_EQ(a.initialisations, apartment.before == sim::Apartment::none ? 0 : 1);
      EXPECT_EQ(sim::comReferences(), (sim::ComReferences{0, 0, 0}));
      EXPECT_EQ(sim::unbalancedComInitialisations(), 0);
      EXPECT_EQ(a.misuses, std::vector<std::string>{});
    }
    // In the other apartment model Core Audio is still used.
    freshMachine(apartment);
    press(0);
    EXPECT_EQ(sim::coreAudio().setMutes.size(), 1u);
    EXPECT_TRUE(sim::mixer().flags.empty());
  }
}

ON_BOTH_BUILDS(CoreAudioMute);

} // namespace
