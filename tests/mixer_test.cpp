// The mute button: the speakers' mute control of mixer device 0, and the button's look.
#include "harness.h"
#include "toolbar.h"

#include <functional>

namespace {

class Mute : public PluginTest {
protected:
  void SetUp() override {
    PluginTest::SetUp();
    sim::mixer().speakersLineId = 0x00120034;
    sim::mixer().muteControlId = 0x5678;
    initialiseWith("button-mute=yes");
  }
  void expectLook(std::size_t request, int icon, const std::string &hint) {
    ASSERT_LT(request, messenger().requests.size());
    const HostRequest &q = messenger().requests[request];
    EXPECT_EQ(q.kind, "updateButton");
    EXPECT_EQ(q.idOrContact, 101);
    EXPECT_EQ(q.iconId, icon);
    EXPECT_EQ(hex(q.text), hex(hint));
  }
};

TEST_P(Mute, PressesAlternateMutingAndUnmutingThroughThreeWellFormedRecords) {
  press(0);
  const sim::Mixer &mx = sim::mixer();
  ASSERT_EQ(mx.lineRequests.size(), 1u);
  const MIXERLINEA &line = mx.lineRequests[0];
  EXPECT_EQ(std::tie(line.cbStruct, line.dwComponentType, line.dwLineID, line.cControls),
            std::make_tuple(DWORD{sizeof(MIXERLINEA)}, 4u, 0u, 0u));
  ASSERT_EQ(mx.controlRequests.size(), 1u);
  const MIXERLINECONTROLSA &c = mx.controlRequests[0];
  EXPECT_EQ(std::tie(c.cbStruct, c.dwLineID, c.dwControlType, c.cControls, c.cbmxctrl),
            std::make_tuple(DWORD{sizeof(MIXERLINECONTROLSA)}, 0x00120034u, 0x20010002u, 1u,
                            DWORD{sizeof(MIXERCONTROLA)}));
  EXPECT_NE(c.pamxctrl, nullptr);
  ASSERT_EQ(mx.setRequests.size(), 1u);
  const MIXERCONTROLDETAILS &d = mx.setRequests[0];
  EXPECT_EQ(std::tie(d.cbStruct, d.dwControlID, d.cChannels, d.cbDetails),
            std::make_tuple(DWORD{sizeof(MIXERCONTROLDETAILS)}, 0x5678u, 1u, 4u));
  EXPECT_EQ(mx.setValues, std::vector<LONG>{-1});
  EXPECT_EQ(mx.flags, (std::vector<DWORD>{3, 2, 0}));
  EXPECT_EQ(mx.devices, (std::vector<HMIXEROBJ>{nullptr, nullptr, nullptr}));
  ASSERT_EQ(messenger().requests.size(), 2u);
  expectLook(1, 10, soundOnHint);
  EXPECT_TRUE(sim::messageBoxes().empty());
  EXPECT_TRUE(sim::sentMessages().empty()); // the player is never involved
  press(0);
  press(0);
  EXPECT_EQ(mx.setValues, (std::vector<LONG>{-1, 0, -1}));
  ASSERT_EQ(messenger().requests.size(), 4u);
  expectLook(2, 11, soundOffHint);
  expectLook(3, 10, soundOnHint);
}

TEST_P(Mute, AFailingMixerCallShowsItsCodeOnceAndChangesNothing) {
  struct Case {
    const char *what;
    std::function<void(sim::Mixer &)> breakIt;
    MMRESULT code;
    std::size_t calls; // mixer calls made, the failing one last
  } cases[] = {
      {"no device", [](sim::Mixer &m) { m.present = false; }, MMSYSERR_BADDEVICEID, 1},
      {"no speakers", [](sim::Mixer &m) { m.hasSpeakers = false; }, MIXERR_INVALLINE, 1},
      {"no mute control", [](sim::Mixer &m) { m.hasMute = false; }, MIXERR_INVALCONTROL, 2},
      {"refused", [](sim::Mixer &m) { m.setResult = 4321; }, 4321, 3},
  };
  bool muted = false; // as the presses so far have left the plug-in
  for (int round = 0; round < 2; ++round) {
    for (const Case &c : cases) {
      sim::mixer() = sim::Mixer{};
      messenger().requests.resize(1);
      sim::messageBoxes().clear();
      c.breakIt(sim::mixer());
      press(0);
      ASSERT_EQ(sim::messageBoxes().size(), 1u) << c.what;
      const sim::MessageBoxCall &box = sim::messageBoxes()[0];
      EXPECT_EQ(box.owner, nullptr);
      EXPECT_EQ(box.text, "multimedia system error " + std::to_string(c.code)) << c.what;
      EXPECT_EQ(box.caption, "");
      EXPECT_EQ(box.flags, 0x2010u);
      EXPECT_EQ(sim::mixer().flags.size(), c.calls) << c.what;
      EXPECT_EQ(messenger().requests.size(), 1u) << c.what; // the look stays
      // Once the mixer works again, the same setting is asked for again.
      sim::mixer() = sim::Mixer{};
      press(0);
      EXPECT_EQ(sim::mixer().setValues, std::vector<LONG>{muted ? 0 : -1}) << c.what;
      expectLook(1, muted ? 11 : 10, muted ? soundOffHint : soundOnHint);
      muted = !muted;
    }
    // One more press, so that in the next round each failure meets the other state.
    sim::mixer() = sim::Mixer{};
    press(0);
    muted = !muted;
  }
}

ON_BOTH_BUILDS(Mute);

} // namespace
