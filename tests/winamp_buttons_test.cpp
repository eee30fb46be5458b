// The eight player buttons: finding or starting the player, and what each sends it.
#include "harness.h"
#include "toolbar.h"

#include "player/winamp/volume.h"

#include <algorithm>
#include <optional>
#include <tuple>

namespace {

const std::string notFoundText =
    "Winamp fastsearch failed!\r\n\r\n\xCD\xE5 \xEE\xE1\xED\xE0\xF0\xF3\xE6\xE5\xED Winamp!";
const std::string launchErrorText =
    "Winamp launch error\r\n\r\n\xCD\xE5 \xF3\xE4\xE0\xEB\xEE\xF1\xFC "
    "\xE7\xE0\xEF\xF3\xF1\xF2\xE8\xF2\xFC Winamp";
const char *const openCommandKey = "Winamp.File\\Shell\\open\\command";

// The look changes the messenger saw after the first n requests: button id, icon, hint.
using Look = std::tuple<std::int32_t, int, std::string>;
std::vector<Look> looksSince(std::size_t n) {
  std::vector<Look> out;
  for (std::size_t i = n; i < messenger().requests.size(); ++i) {
    const HostRequest &q = messenger().requests[i];
    out.emplace_back(q.kind == "updateButton" ? q.idOrContact : -999, q.iconId, q.text);
  }
  return out;
}

using Box = std::tuple<HWND, std::string, std::string, UINT>;
const Box notFound{nullptr, notFoundText, "", 0x2010};
const Box launchError{nullptr, launchErrorText, "", 0x42030};

std::vector<Box> boxes() {
  std::vector<Box> out;
  for (const sim::MessageBoxCall &b : sim::messageBoxes())
    out.emplace_back(b.owner, b.text, b.caption, b.flags);
  return out;
}

// The player was started once, the way the shell is asked to open a program.
void expectLaunched(const std::string &file) {
  ASSERT_EQ(sim::shellCalls().size(), 1u);
  const sim::ShellCall &c = sim::shellCalls()[0];
  EXPECT_EQ(std::tie(c.owner, c.operation, c.file, c.parameters, c.directory, c.showCommand),
            std::make_tuple(nullptr, "open", file, "", "", 1));
}

class Player : public PluginTest {
protected:
  LRESULT state = 1;
  HWND window = nullptr;
  // A stand-in player: answers the state query, and 0 to everything else.
  HWND startPlayer() {
    window = sim::addWindow("Winamp v1.x", "Some Song - Winamp", [this](UINT m, WPARAM, LPARAM l) {
      return m == WM_USER && l == 104 ? state : LRESULT{0};
    });
    return window;
  }
};

TEST_P(Player, EachPlainHandlerSendsItsMessageToTheRunningPlayer) {
  initialiseWith(allOn + "custom-player=winamp.exe");
  touch("winamp.exe");
  startPlayer();
  struct Case {
    std::size_t button;
    std::vector<Msg> messages;
  } cases[] = {
      {Prev, {{window, WM_COMMAND, 40044, 0}}}, {Next, {{window, WM_COMMAND, 40048, 0}}},
      {Rew, {{window, WM_COMMAND, 40061, 0}}},  {Fwd, {{window, WM_COMMAND, 40060, 0}}},
      {VUp, {{window, WM_USER, 25, 122}}},      {VDn, {{window, WM_USER, 0, 122}}},
  };
  sim::fileOpens().clear();
  for (const Case &c : cases) {
    sim::sentMessages().clear();
    press(c.button);
    EXPECT_EQ(sent(), c.messages) << c.button;
  }
  // A running player is used as found: no file test, no launch, no wait, no box.
  EXPECT_TRUE(sim::fileOpens().empty());
  EXPECT_TRUE(sim::shellCalls().empty());
  EXPECT_TRUE(sim::sleeps().empty());
  EXPECT_TRUE(sim::messageBoxes().empty());
}

TEST_P(Player, TheVolumeClimbsAndFallsInStepsOf25Within0To255) {
  initialiseWith(allOn);
  startPlayer();
  std::vector<WPARAM> levels;
  for (int i = 0; i < 12; ++i) press(VUp);
  for (int i = 0; i < 12; ++i) press(VDn);
  for (const sim::SentMessage &m : sim::sentMessages()) levels.push_back(m.wParam);
  EXPECT_EQ(levels,
            (std::vector<WPARAM>{25,  50,  75,  100, 125, 150, 175, 200, 225, 250, 255, 255,
                                 230, 205, 180, 155, 130, 105, 80,  55,  30,  5,   0,   0}));
  for (const Msg &m : sent())
    EXPECT_EQ(std::make_tuple(std::get<0>(m), std::get<1>(m), std::get<3>(m)),
              std::make_tuple(window, WM_USER, LPARAM{122}));
}

// Levels the buttons alone never reach.
TEST(Volume, LouderAndQuieterStopAtTheEnds) {
  EXPECT_EQ(louder(240), 255);
  EXPECT_EQ(louder(230), 255);
  EXPECT_EQ(quieter(10), 0);
}

TEST_P(Player, PlayPauseFollowsThePlayingState) {
  initialiseWith(allOn);
  startPlayer();
  struct Case {
    LRESULT state;
    Msg command;
    Look look;
  } cases[] = {
      {1, {window, WM_COMMAND, 40046, 0}, {playButtonId, 2, playHint}},
      {3, {window, WM_COMMAND, 40046, 0}, {playButtonId, 3, pauseHint}},
      {0, {window, WM_USER, 0, 102}, {playButtonId, 3, pauseHint}},
      {7, {window, WM_USER, 0, 102}, {playButtonId, 3, pauseHint}},
  };
  for (const Case &c : cases) {
    state = c.state;
    sim::sentMessages().clear();
    std::size_t before = messenger().requests.size();
    press(Play);
    EXPECT_EQ(sent(), (std::vector<Msg>{{window, WM_USER, 0, 104}, c.command})) << c.state;
    EXPECT_EQ(looksSince(before), std::vector<Look>{c.look}) << c.state;
  }
}

TEST_P(Player, OpenFilesGivesThePauseLookEvenToAPlayButtonNeverRegistered) {
  initialiseWith("button-open=yes");
  startPlayer();
  press(0);
  EXPECT_EQ(sent(), (std::vector<Msg>{{window, WM_COMMAND, 40029, 0}}));
  EXPECT_EQ(looksSince(1), (std::vector<Look>{{0, 3, pauseHint}}));
}

TEST_P(Player, WithoutAPlayerSkipsAndStepsStartNothingAndPlayAndOpenSendNothing) {
  initialiseWith(allOn); // no program at the custom path, none registered
  for (std::size_t button : {Rew, Fwd, VUp, VUp, VDn}) press(button);
  EXPECT_EQ(std::get<2>(sent().back()), 25u); // the steps still move the level
  EXPECT_TRUE(boxes().empty());               // no lookup of a program either
  for (const Msg &m : sent()) EXPECT_EQ(std::get<0>(m), nullptr);
  sim::sentMessages().clear();
  for (std::size_t button : {Play, Open}) press(button);
  EXPECT_EQ(boxes(), (std::vector<Box>{notFound, notFound}));
  EXPECT_TRUE(sim::sentMessages().empty());
  EXPECT_EQ(messenger().requests.size(), 10u); // no look change
  EXPECT_TRUE(sim::shellCalls().empty());
  EXPECT_TRUE(sim::sleeps().empty());
}

TEST_P(Player, AWriteProtectedProgramIsStartedAndAwaitedUpToNineLookups) {
  struct Case {
    std::size_t button;
    WPARAM command;
    std::size_t appearsDuringSleep; // 0: never
  } cases[] = {{Prev, 40044, 1}, {Next, 40048, 9}, {Prev, 40044, 0}};
  touch("Player dir\\winamp.exe");
  sim::denyWriteAccess("Player dir\\winamp.exe"); // as in a folder the user may only read
  initialiseWith(allOn + "custom-player=Player dir\\winamp.exe");
  sim::fileOpens().clear();
  for (const Case &c : cases) {
    sim::sleeps().clear();
    sim::sentMessages().clear();
    sim::shellCalls().clear();
    sim::messageBoxes().clear();
    if (window) sim::removeWindow(window), window = nullptr;
    sim::onSleep() = [&](DWORD) {
      if (sim::sleeps().size() == c.appearsDuringSleep) startPlayer();
    };
    press(c.button);
    expectLaunched("Player dir\\winamp.exe");
    std::vector<DWORD> sleeps(c.appearsDuringSleep ? c.appearsDuringSleep : 9, 750);
    if (c.appearsDuringSleep) {
      sleeps.push_back(200);
      EXPECT_EQ(sent(), (std::vector<Msg>{{window, WM_USER, 225, 122},
                                          {window, WM_COMMAND, c.command, 0}}));
      EXPECT_TRUE(boxes().empty());
    } else {
      for (const Msg &m : sent()) EXPECT_EQ(std::get<0>(m), nullptr);
      EXPECT_EQ(boxes(), std::vector<Box>{launchError});
    }
    EXPECT_EQ(sim::sleeps(), sleeps) << c.appearsDuringSleep;
  }
  for (const sim::FileOpen &f : sim::fileOpens())
    EXPECT_EQ(std::tie(f.access, f.share, f.disposition),
              std::make_tuple(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
}

TEST_P(Player, AHungPlayerNeverHoldsTheMessengerUnbounded) {
  initialiseWith(allOn);
  startPlayer();
  sim::setHung(window, true);
  for (std::size_t button = Send; button <= VUp; ++button) press(button);
  // Every answer reads as 0: a stopped player, no track data.
  ASSERT_EQ(messenger().requests.size(), 15u);
  EXPECT_EQ(messenger().requests[11].text, ">Winamp: Some Song - Winamp (0KHz/0kbps/0ch)");
  EXPECT_EQ(messenger().requests[12].iconId, 3); // play: the start request, pause look
  ASSERT_EQ(sim::sentMessages().size(), 13u);
  EXPECT_EQ(std::get<3>(sent()[7]), 102);
  for (const sim::SentMessage &m : sim::sentMessages()) {
    bool open = m.message == WM_COMMAND && m.wParam == 40029;
    EXPECT_TRUE(m.bounded) << m.message << " " << m.wParam << " " << m.lParam;
    EXPECT_EQ(m.flags, SMTO_NORMAL | SMTO_ABORTIFHUNG);
    EXPECT_EQ(m.timeout, open ? 0xFFFFFFFFu : 5000u);
  }
  EXPECT_LE(sim::waitedOnHungMs(), 5000u * sim::sentMessages().size());
  EXPECT_TRUE(boxes().empty()); // a player too slow to answer is not one that refuses
}

TEST_P(Player, TheProgramPathIsTakenOutOfTheRegisteredOpenCommand) {
  const std::string longPath =
      std::string(150, 'd') + "\\" + std::string(100, 'e') + "\\winamp.exe"; // 262 characters
  struct Case {
    std::optional<std::string> value; // the registered open command, if any
    std::string launched;             // an existing program, started; empty: the not-found box
  } cases[] = {
      {"\"Win amp\\winamp.exe\" \"%1\"", "Win amp\\winamp.exe"},
      {"winamp.exe", "winamp.exe"},
      {"player.exe /play \"%1\"", "player.exe"},
      {"Win amp 2\\winamp.exe", "Win amp 2\\winamp.exe"}, // unquoted, naming a file whole
      {longPath, longPath},                               // read whole
      {"\"missing.exe\" \"%1\"", ""},
      {std::nullopt, ""},
  };
  for (const Case &c : cases) {
    sim::reset();
    messenger() = FakeMessenger{};
    if (!c.launched.empty()) touch(c.launched);
    if (c.value) sim::setRegistryValue(HKEY_CLASSES_ROOT, openCommandKey, "", *c.value + '\0');
    initialiseWith("button-next=yes");
    sim::onShellExecute() = [&](const sim::ShellCall &) { startPlayer(); };
    press(0);
    SCOPED_TRACE(c.value.value_or("(no key)"));
    if (c.launched.empty()) {
      EXPECT_EQ(boxes(), std::vector<Box>{notFound});
      EXPECT_TRUE(sim::shellCalls().empty());
      EXPECT_TRUE(sim::sleeps().empty());
    } else {
      expectLaunched(c.launched);
      EXPECT_EQ(sent().back(), Msg(window, WM_COMMAND, 40048, 0));
    }
  }
}

const std::string defaultPlayer = "C:\\Program Files\\Winamp\\Winamp.exe";

TEST_P(Player, AMissingProgramIsLookedForUnderProgramFilesBeforeTheRegisteredOne) {
  const std::string x86 = "C:\\Program Files (x86)", installed = "\\Winamp\\Winamp.exe";
  const std::string x86Player = x86 + installed, registered = "Registered\\player.exe";
  // Expansions of 259 characters and of 260, one more than the buffer holds with its NUL.
  const std::string fits = "C:\\" + std::string(118, 'p') + "\\" + std::string(119, 'q');
  const std::string tooLong = fits + "r";
  struct Case {
    std::string programFiles;
    std::vector<std::string> programs; // the files that exist
    std::string launched;
    std::vector<std::string> tested; // the file tests, in order
  } cases[] = {
      {x86, {x86Player, registered}, x86Player, {defaultPlayer, x86Player, x86Player}},
      {x86, {defaultPlayer, x86Player}, defaultPlayer, {defaultPlayer, defaultPlayer}},
      {x86, {registered}, registered, {defaultPlayer, x86Player, registered}},
      // Where it names the default's own folder, that path is not tested twice.
      {"C:\\Program Files", {registered}, registered, {defaultPlayer, registered}},
      {fits,
       {fits + installed},
       fits + installed,
       {defaultPlayer, fits + installed, fits + installed}},
      {tooLong, {tooLong + installed, registered}, registered, {defaultPlayer, registered}},
  };
  for (const Case &c : cases) {
    sim::reset();
    messenger() = FakeMessenger{};
    for (const char *folder : {"C:", "Registered"}) std::filesystem::remove_all(folder);
    sim::setEnvironmentVariable("ProgramFiles", c.programFiles);
    for (const std::string &program : c.programs) touch(program);
    sim::setRegistryValue(HKEY_CLASSES_ROOT, openCommandKey, "",
                          "\"" + registered + "\" \"%1\"" + '\0');
    initialiseWith("button-next=yes");
    sim::onShellExecute() = [&](const sim::ShellCall &) { startPlayer(); };
    sim::fileOpens().clear();
    press(0);
    SCOPED_TRACE(c.programFiles);
    expectLaunched(c.launched);
    std::vector<std::string> tested;
    for (const sim::FileOpen &f : sim::fileOpens()) tested.push_back(f.path);
    EXPECT_EQ(tested, c.tested);
    // The launch goes on as it always did: the launch volume, then the command.
    EXPECT_EQ(sent(),
              (std::vector<Msg>{{window, WM_USER, 225, 122}, {window, WM_COMMAND, 40048, 0}}));
    EXPECT_TRUE(boxes().empty());
  }
}

TEST_P(Player, WithNothingUnderProgramFilesOrRegisteredThePlayerIsNotFound) {
  sim::setEnvironmentVariable("ProgramFiles", "C:\\Program Files (x86)");
  initialiseWith(allOn);
  press(Play);
  EXPECT_EQ(boxes(), std::vector<Box>{notFound});
  EXPECT_TRUE(sim::shellCalls().empty());
}

// "Winamp runs as administrator"
const Box refused{nullptr,
                  "Winamp runs as administrator\r\n\r\nWinamp \xE7\xE0\xEF\xF3\xF9\xE5\xED "
                  "\xEE\xF2 \xE8\xEC\xE5\xED\xE8 \xE0\xE4\xEC\xE8\xED\xE8\xF1\xF2\xF0\xE0\xF2"
                  "\xEE\xF0\xE0",
                  "", 0x2010};

TEST_P(Player, APlayerRunningAsAdministratorStopsEachPressAtItsFirstMessageWithOneBox) {
  initialiseWith(allOn);
  startPlayer();
  sim::setRefusing(window, true);
  struct Case {
    std::size_t button;
    Msg refusedMessage;
  } cases[] = {
      {Send, {window, WM_USER, 0, 104}},      {Prev, {window, WM_COMMAND, 40044, 0}},
      {Rew, {window, WM_COMMAND, 40061, 0}},  {Play, {window, WM_USER, 0, 104}},
      {Fwd, {window, WM_COMMAND, 40060, 0}},  {Next, {window, WM_COMMAND, 40048, 0}},
      {Open, {window, WM_COMMAND, 40029, 0}}, {VDn, {window, WM_USER, 0, 122}},
      {VUp, {window, WM_USER, 25, 122}},      {VUp, {window, WM_USER, 25, 122}},
  };
  for (const Case &c : cases) {
    sim::sentMessages().clear();
    sim::messageBoxes().clear();
    std::size_t before = messenger().requests.size();
    press(c.button);
    EXPECT_EQ(sent(), std::vector<Msg>{c.refusedMessage}) << c.button;
    EXPECT_EQ(boxes(), std::vector<Box>{refused}) << c.button;
    EXPECT_EQ(messenger().requests.size(), before) << c.button; // no look change, no line
  }
  // The refused volumes never reached the player, so the level did not move.
  sim::setRefusing(window, false);
  press(VUp);
  EXPECT_EQ(sent().back(), Msg(window, WM_USER, 25, 122));
}

TEST_P(Player, PlayPauseRefusedAfterTheStateQueryKeepsTheButtonsLook) {
  initialiseWith(allOn);
  window = sim::addWindow("Winamp v1.x", "Some Song - Winamp", [this](UINT m, WPARAM, LPARAM l) {
    if (m != WM_USER || l != 104) return LRESULT{0};
    sim::setRefusing(window, true);
    return state;
  });
  for (LRESULT playerState : {1, 3, 0}) {
    state = playerState;
    sim::setRefusing(window, false);
    sim::sentMessages().clear();
    sim::messageBoxes().clear();
    press(Play);
    EXPECT_EQ(sent().size(), 2u) << playerState;
    EXPECT_EQ(boxes(), std::vector<Box>{refused}) << playerState;
    EXPECT_EQ(messenger().requests.size(), 10u) << playerState;
  }
}

TEST_P(Player, AStartedPlayerThatRunsAsAdministratorGetsNoMessageAfterTheLaunchVolume) {
  touch(defaultPlayer);
  initialiseWith(allOn);
  sim::onShellExecute() = [&](const sim::ShellCall &) { sim::setRefusing(startPlayer(), true); };
  press(Play);
  expectLaunched(defaultPlayer);
  EXPECT_EQ(sent(), (std::vector<Msg>{{window, WM_USER, 225, 122}}));
  EXPECT_EQ(boxes(), std::vector<Box>{refused});
  EXPECT_EQ(messenger().requests.size(), 10u);
}

// The launch volume counts only once the player took it, as for the volume buttons.
TEST_P(Player, ALaunchThatThePlayerRefusesLeavesTheVolumeLevelAsItWas) {
  touch(defaultPlayer);
  initialiseWith(allOn);
  startPlayer();
  press(VUp);
  press(VUp);
  sim::removeWindow(window);
  sim::onShellExecute() = [&](const sim::ShellCall &) { sim::setRefusing(startPlayer(), true); };
  sim::sentMessages().clear();
  press(Play);
  expectLaunched(defaultPlayer);
  EXPECT_EQ(sent(), (std::vector<Msg>{{window, WM_USER, 225, 122}}));
  sim::removeWindow(window);
  startPlayer();
  sim::sentMessages().clear();
  press(VUp);
  EXPECT_EQ(sent(), (std::vector<Msg>{{window, WM_USER, 75, 122}}));
}

ON_BOTH_BUILDS(Player);

} // namespace
