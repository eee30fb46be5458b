// AIMP through its own remote-control window: which player a press goes to, and what each
// button sends AIMP.
#include "harness.h"
#include "toolbar.h"

#include "fuzz/driver.h"
#include "player/aimp/commands.h"
#include "settings/settings.h"

#include <algorithm>
#include <filesystem>
#include <tuple>

namespace {

using driver::aimpCommand;
using driver::aimpProperty;

TEST(AimpSteps, SkipsStayWithinTheTrackAndTheVolumeWithin0To100) {
  EXPECT_EQ(skippedPosition(3000, 200000, -5000), 0);
  EXPECT_EQ(skippedPosition(10000, 200000, -5000), 5000);
  EXPECT_EQ(skippedPosition(10000, 12000, 5000), 12000);
  EXPECT_EQ(skippedPosition(10000, 200000, 5000), 15000);
  // An unknown duration bounds nothing above; a position past it comes back to it.
  EXPECT_EQ(skippedPosition(10000, 0, 5000), 15000);
  EXPECT_EQ(skippedPosition(2147483000, -1, 5000), 2147483647);
  EXPECT_EQ(skippedPosition(300000, 200000, -5000), 200000);
  EXPECT_EQ(steppedVolume(50, 10), 60);
  EXPECT_EQ(steppedVolume(95, 10), 100);
  EXPECT_EQ(steppedVolume(5, -10), 0);
  EXPECT_EQ(steppedVolume(-20, 10), 0);
  EXPECT_EQ(steppedVolume(2147483647, 10), 100);
}

// A stand-in AIMP: its remote-control window answers the properties and keeps what is set.
class Aimp : public PluginTest {
protected:
  LRESULT state = 2, position = 10000, duration = 200000, volume = 50;
  HWND window = nullptr;
  HWND startAimp() {
    window = sim::addWindow("AIMP2_RemoteInfo", "AIMP2_RemoteInfo",
                            [this](UINT m, WPARAM w, LPARAM l) -> LRESULT {
                              if (m != aimpProperty) return 0;
                              switch (w) {
                              case 0x20:
                                return position;
                              case 0x30:
                                return duration;
                              case 0x40:
                                return state;
                              case 0x50:
                                return volume;
                              case 0x21:
                                return position = l, 1;
                              case 0x51:
                                return volume = l, 1;
                              }
                              return 0;
                            });
    return window;
  }
  // A window of Winamp's class that answers the state query.
  HWND startWinamp() {
    return sim::addWindow("Winamp v1.x", "Song - Winamp", [](UINT m, WPARAM, LPARAM l) {
      return m == WM_USER && l == 104 ? LRESULT{1} : LRESULT{0};
    });
  }
  std::vector<Msg> pressed(std::size_t button) {
    sim::sentMessages().clear();
    press(button);
    return sent();
  }
};

TEST_P(Aimp, EveryButtonReachesAimpThroughItsCommandsAndProperties) {
  initialiseWith(allOn);
  startAimp();
  struct Case {
    std::size_t button;
    std::vector<Msg> messages;
  } cases[] = {
      {Prev, {{window, aimpCommand, 18, 0}}},
      {Next, {{window, aimpCommand, 17, 0}}},
      {Open, {{window, aimpCommand, 26, 0}}},
      {Rew,
       {{window, aimpProperty, 0x20, 0},
        {window, aimpProperty, 0x30, 0},
        {window, aimpProperty, 0x21, 5000}}},
      {Fwd,
       {{window, aimpProperty, 0x20, 0},
        {window, aimpProperty, 0x30, 0},
        {window, aimpProperty, 0x21, 10000}}},
      {VUp, {{window, aimpProperty, 0x50, 0}, {window, aimpProperty, 0x51, 60}}},
      {VUp, {{window, aimpProperty, 0x50, 0}, {window, aimpProperty, 0x51, 70}}},
      {VDn, {{window, aimpProperty, 0x50, 0}, {window, aimpProperty, 0x51, 60}}},
      {Play, {{window, aimpProperty, 0x40, 0}, {window, aimpCommand, 15, 0}}},
  };
  for (const Case &c : cases) EXPECT_EQ(pressed(c.button), c.messages) << c.button;
  // Only the file dialog waits as long as the user likes; nothing started, no box.
  for (const sim::SentMessage &m : sim::sentMessages()) EXPECT_TRUE(m.bounded);
  EXPECT_TRUE(sim::shellCalls().empty());
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_P(Aimp, TheSkipsAndStepsKeepWithinTheTrackAndAimpsVolume) {
  initialiseWith(allOn);
  startAimp();
  position = 3000;
  EXPECT_EQ(std::get<3>(pressed(Rew).back()), 0);
  position = 198000;
  EXPECT_EQ(std::get<3>(pressed(Fwd).back()), 200000);
  volume = 95;
  EXPECT_EQ(std::get<3>(pressed(VUp).back()), 100);
  volume = 100;
  EXPECT_EQ(std::get<3>(pressed(VUp).back()), 100);
  volume = 4;
  EXPECT_EQ(std::get<3>(pressed(VDn).back()), 0);
  // The plug-in's own level of Winamp's volume is not AIMP's.
  volume = 30;
  EXPECT_EQ(std::get<3>(pressed(VDn).back()), 20);
}

TEST_P(Aimp, PlayPauseFollowsAimpsStateAndSetsTheButtonsLook) {
  initialiseWith(allOn);
  startAimp();
  using Look = std::tuple<std::int32_t, std::string>;
  struct Case {
    LRESULT state;
    WPARAM command;
    Look look;
  } cases[] = {
      {2, 15, {playButtonId, playHint}},
      {1, 13, {playButtonId, pauseHint}},
      {0, 13, {playButtonId, pauseHint}},
  };
  for (const Case &c : cases) {
    state = c.state;
    std::size_t before = messenger().requests.size();
    EXPECT_EQ(pressed(Play), (std::vector<Msg>{{window, aimpProperty, 0x40, 0},
                                               {window, aimpCommand, c.command, 0}}))
        << c.state;
    ASSERT_EQ(messenger().requests.size(), before + 1);
    const HostRequest &q = messenger().requests.back();
    EXPECT_EQ(Look(q.idOrContact, q.text), c.look) << c.state;
  }
}

TEST_P(Aimp, AHungAimpNeverHoldsTheMessengerAndARefusingOneSaysWhyOnce) {
  initialiseWith(allOn);
  startAimp();
  sim::setHung(window, true);
  for (std::size_t button : {Prev, Next, Rew, Fwd, VUp, VDn, Play}) press(button);
  for (const sim::SentMessage &m : sim::sentMessages())
    EXPECT_TRUE(m.bounded && m.timeout == 5000 && (m.flags & SMTO_ABORTIFHUNG)) << m.wParam;
  // Unanswered, the position and the volume are not guessed: nothing is set.
  for (const Msg &m : sent())
    EXPECT_FALSE(std::get<1>(m) == aimpProperty && (std::get<2>(m) & 1)) << std::get<2>(m);
  sim::setHung(window, false);
  sim::setRefusing(window, true);
  for (std::size_t button : {Rew, VUp, Play}) {
    sim::messageBoxes().clear();
    EXPECT_EQ(pressed(button).size(), 1u) << button;
    EXPECT_EQ(sim::messageBoxes().size(), 1u) << button;
  }
}

TEST_P(Aimp, TheFirstPlayerRunningIsUsedWinampFirstUnlessItIsAimpsImitation) {
  startAimp();
  HWND winamp = startWinamp();
  struct Case {
    std::string setting;
    bool imitation; // the Winamp-class window is AIMP's own
    HWND reached;
  } cases[] = {
      {"", false, winamp},
      {"player=auto\r\n", false, winamp},
      {"player=winamp\r\n", false, winamp},
      {"player=aimp\r\n", false, window},
      {"player=AIMP\r\n", false, winamp}, // not a known value: the first running
      {"", true, window},
      {"player=winamp\r\n", true, winamp}, // AIMP is never looked for
  };
  for (const Case &c : cases) {
    if (c.imitation) sim::shareProcess(winamp, window);
    initialiseWith(allOn + c.setting);
    std::vector<Msg> messages = pressed(Next);
    ASSERT_EQ(messages.size(), 1u) << c.setting;
    EXPECT_EQ(std::get<0>(messages[0]), c.reached) << c.setting << c.imitation;
  }
  // Without Winamp's window, AIMP's is the first.
  sim::removeWindow(winamp);
  initialiseWith(allOn + "player=");
  EXPECT_EQ(pressed(Next), (std::vector<Msg>{{window, aimpCommand, 17, 0}}));
}

TEST_P(Aimp, WithAimpChosenAndNotRunningAimpIsStartedFromItsOwnPlaces) {
  const std::string registered = "Reg\\AIMP.exe", x64 = "C:\\PF\\AIMP\\AIMP.exe",
                    x86 = "C:\\PF86\\AIMP\\AIMP.exe";
  struct Case {
    std::string custom; // the custom-player line's value
    std::vector<std::string> programs;
    std::string launched;
  } cases[] = {
      {"my\\aimp.exe", {"my\\aimp.exe", registered, x64}, "my\\aimp.exe"},
      // Winamp's default path, which initialise gives an empty key, is not AIMP's.
      {"", {defaultPlayer, registered, x64}, registered},
      {"", {x64, x86}, x64},
      {"", {x86}, x86},
  };
  for (const Case &c : cases) {
    sim::reset();
    messenger() = FakeMessenger{};
    for (const char *folder : {"C:", "Reg", "my"}) std::filesystem::remove_all(folder);
    sim::setEnvironmentVariable("ProgramW6432", "C:\\PF");
    sim::setEnvironmentVariable("ProgramFiles(x86)", "C:\\PF86");
    for (const std::string &program : c.programs) touch(program);
    sim::setRegistryValue(HKEY_CLASSES_ROOT, "Applications\\AIMP.exe\\shell\\open\\command", "",
                          "\"" + registered + "\" \"%1\"" + '\0');
    initialiseWith("button-next=yes\r\nplayer=aimp\r\ncustom-player=" + c.custom);
    sim::onShellExecute() = [&](const sim::ShellCall &) { startAimp(); };
    std::vector<Msg> messages = pressed(0);
    ASSERT_EQ(sim::shellCalls().size(), 1u) << c.launched;
    EXPECT_EQ(sim::shellCalls()[0].file, c.launched);
    // No launch volume: AIMP keeps its own.
    EXPECT_EQ(messages, (std::vector<Msg>{{window, aimpCommand, 17, 0}}));
    EXPECT_EQ(sim::sleeps(), (std::vector<DWORD>{750, 200}));
  }
  // Nowhere: the box of today, and nothing sent.
  sim::reset();
  initialiseWith("button-next=yes\r\nplayer=aimp");
  EXPECT_TRUE(pressed(0).empty());
  ASSERT_EQ(sim::messageBoxes().size(), 1u);
  EXPECT_EQ(sim::messageBoxes()[0].flags, 0x2010u);
}

ON_BOTH_BUILDS(Aimp);

} // namespace
