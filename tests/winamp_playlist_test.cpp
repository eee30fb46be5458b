// %title% and %number%: the playlist entry's title read from the player's memory, only from
// the player's own process and bitness, a page at a time.
#include "nowplaying.h"

#include "player/winamp/playlist.h"

#include <functional>

namespace {

// Titles lie in the player's memory below 4 GiB, where a 32-bit player keeps them; the top bit
// of the address is set, so that it is read unsigned.
constexpr std::uintptr_t titlePage = 0x80A01000;
const std::string scrolled = "Some Song - Winamp *** 12. Some Artist - ";
const std::vector<Query> playlistQueries{{WM_USER, 0, 125}, {WM_USER, 11, 212}};

std::vector<std::pair<std::uintptr_t, std::size_t>> reads() {
  std::vector<std::pair<std::uintptr_t, std::size_t>> out;
  for (const sim::MemoryRead &r : sim::memoryReads()) out.emplace_back(r.address, r.size);
  return out;
}

TEST_P(NowPlaying, TheSendButtonReadsTheTitleFromThePlayersMemoryAfterTheOtherQueries) {
  initialiseWith("button-send=yes\r\nnowplaying-format=%number%. %title% [%track%] %pos%");
  startPlayer(scrolled);
  sim::writeProcessMemory(window, titlePage + 0x10, "Some Artist - Some Song");
  titleAddress = titlePage + 0x10;
  press(0);
  std::vector<Query> expected = trackQueries;
  expected.insert(expected.end(), {{WM_USER, 0, 105}, {WM_USER, 0, 125}, {WM_USER, 11, 212}});
  expectAskedBeforeTheChat(expected);
  ASSERT_EQ(messenger().requests.size(), 3u);
  EXPECT_EQ(messenger().requests[2].text, "12. Some Artist - Some Song [Some Song] 1:23");
  ASSERT_EQ(sim::processOpens().size(), 1u);
  const sim::ProcessOpen &open = sim::processOpens()[0];
  EXPECT_EQ(open.access, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
  EXPECT_EQ(open.inheritHandle, FALSE);
  EXPECT_EQ(open.processId, sim::processIdOf(window));
  EXPECT_EQ(reads(),
            (std::vector<std::pair<std::uintptr_t, std::size_t>>{{titlePage + 0x10, 255}}));
}

TEST_P(NowPlaying, TheTitleIsReadAPageAtATimeUpToItsNulOr255Bytes) {
  const auto z = [](std::string text) { return text + '\0'; };
  enum Next { readable, unreadable, nowhere };
  struct Case {
    std::size_t beforePageEnd; // where the title starts
    std::string memory;        // from there on; nothing: the address leads nowhere
    Next next;                 // the page after the one the title starts on
    std::string title;         // empty: the track stands in
    std::vector<std::size_t> reads;
  } cases[] = {
      // Ends just before a page that cannot be read, or that leads nowhere.
      {24, z("Some Artist - Some Song"), unreadable, "Some Artist - Some Song", {24}},
      {24, z("Some Artist - Some Song"), nowhere, "Some Artist - Some Song", {24}},
      // Runs on into the next page.
      {14, z("Some Artist - Some Song"), readable, "Some Artist - Some Song", {14, 241}},
      {14, z("Some Artist - Some Song"), unreadable, "", {14, 241}},
      {14, "Some Artist - ", nowhere, "", {14, 241}},
      // 255 bytes or more without a NUL: those 255 bytes, and nothing after them is read.
      {0x1000, std::string(300, 'x'), readable, std::string(255, 'x'), {255}},
      {100, std::string(300, 'y'), readable, std::string(255, 'y'), {100, 155}},
      {255, std::string(255, 'v'), unreadable, std::string(255, 'v'), {255}},
      {0x1000, z(std::string(254, 'w')), readable, std::string(254, 'w'), {255}},
      // An empty title counts as none, and so does one that leads nowhere.
      {0x1000, z(""), readable, "", {255}},
      {0x1000, "", nowhere, "", {255}},
  };
  startPlayer(scrolled);
  std::uintptr_t region = titlePage;
  for (const Case &c : cases) {
    region += 0x10000;
    const std::uintptr_t address = region + 0x1000 - c.beforePageEnd;
    if (c.next != nowhere) sim::writeProcessMemory(window, region + 0x1000, std::string(1, 'n'));
    sim::writeProcessMemory(window, address, c.memory);
    if (c.next == unreadable) sim::protectProcessPage(window, region + 0x1000);
    titleAddress = static_cast<LRESULT>(address);
    sim::memoryReads().clear();
    EXPECT_EQ(keywordAnswerWith("nowplaying-format=%title%"),
              c.title.empty() ? "Some Song" : c.title)
        << c.memory;
    std::vector<std::size_t> sizes;
    std::uintptr_t at = address;
    for (const auto &[readAt, size] : reads()) {
      EXPECT_EQ(readAt, at) << c.memory;
      at += size;
      sizes.push_back(size);
    }
    EXPECT_EQ(sizes, c.reads) << c.memory;
    EXPECT_EQ(sim::openProcesses(), 0);
  }
}

TEST_P(NowPlaying, EveryFailureGivesNoNumberOrNoTitleAndTheTrackStandsIn) {
  const std::string track = "Some Song";
  struct Case {
    const char *what;
    LRESULT index;
    std::function<void()> setUp;
    std::string line;
    std::vector<Query> asked;
    std::size_t opens, reads;
  } cases[] = {
      {"no current entry", -1, {}, "|" + track, {{WM_USER, 0, 125}}, 0, 0},
      {"no title", 11, {}, "12|" + track, playlistQueries, 0, 0},
      {"a process that cannot be opened", 11,
       [this] {
         sim::writeProcessMemory(window, titlePage, "Some Artist - Some Song");
         sim::denyProcessOpen(window);
         titleAddress = titlePage;
       },
       "12|" + track, playlistQueries, 1, 0},
      {"an address that leads nowhere", 11, [this] { titleAddress = titlePage; }, "12|" + track,
       playlistQueries, 1, 1},
      {"an unreadable page", 11,
       [this] {
         sim::writeProcessMemory(window, titlePage, "Some Artist - Some Song");
         sim::protectProcessPage(window, titlePage);
         titleAddress = titlePage;
       },
       "12|" + track, playlistQueries, 1, 1},
      // Another program got the player's id, and holds other text at the title's address.
      {"a player that exits as it is opened", 11,
       [this] {
         sim::writeProcessMemory(window, titlePage, "Some Artist - Some Song");
         HWND heir = sim::addWindow("Notepad", "secrets.txt - Notepad", {});
         sim::writeProcessMemory(heir, titlePage, "password=hunter2");
         sim::exitAtOpen(window, heir);
         titleAddress = titlePage;
       },
       "12|" + track, playlistQueries, 1, 0},
      {"a player that hangs after the index", 11,
       [this] {
         sim::removeWindow(window);
         window = sim::addWindow("Winamp v1.x", scrolled, [this](UINT m, WPARAM, LPARAM l) {
           if (m == WM_USER && l == 125) sim::setHung(window, true);
           return m == WM_USER && l == 104 ? LRESULT{1} : l == 125 ? LRESULT{11} : LRESULT{0};
         });
         sim::writeProcessMemory(window, titlePage, "Some Artist - Some Song");
         titleAddress = titlePage;
       },
       "12|Some Song", playlistQueries, 0, 0},
  };
  for (Case &c : cases) {
    if (window) sim::removeWindow(window);
    startPlayer(scrolled);
    playlistIndex = c.index;
    titleAddress = 0;
    if (c.setUp) c.setUp();
    sim::processOpens().clear();
    sim::memoryReads().clear();
    EXPECT_EQ(keywordAnswerWith("nowplaying-format=%number%|%title%"), c.line) << c.what;
    std::vector<Query> expected = trackQueries;
    expected.insert(expected.end(), c.asked.begin(), c.asked.end());
    EXPECT_EQ(queries(), expected) << c.what;
    EXPECT_EQ(sim::processOpens().size(), c.opens) << c.what;
    EXPECT_EQ(sim::memoryReads().size(), c.reads) << c.what;
    EXPECT_EQ(sim::openProcesses(), 0) << c.what;
  }
}

// A player of the other bitness answers with an address that the plug-in cannot take whole: the
// memory at the address it holds is read only when both processes are of one bitness.
TEST_P(NowPlaying, TheTitleIsReadOnlyFromAPlayerOfThePluginsOwnBitness) {
  using sim::Wow64;
  const std::string track = "Some Song";
  struct Case {
    const char *what;
    Wow64 own, player;
    bool withoutIsWow64Process;
    std::string line;
  } cases[] = {
      {"both without WOW64", Wow64::no, Wow64::no, false, "12|Some Artist - Some Song"},
      {"both under WOW64", Wow64::yes, Wow64::yes, false, "12|Some Artist - Some Song"},
      {"a 64-bit player, the 32-bit plug-in on 64-bit Windows", Wow64::yes, Wow64::no, false,
       "12|" + track},
      {"a 32-bit player, the 64-bit plug-in", Wow64::no, Wow64::yes, false, "12|" + track},
      {"the player's bitness unknown", Wow64::yes, Wow64::unknown, false, "12|" + track},
      {"the plug-in's bitness unknown", Wow64::unknown, Wow64::yes, false, "12|" + track},
      // Windows before XP SP2 has no WOW64.
      {"no IsWow64Process", Wow64::unknown, Wow64::unknown, true, "12|Some Artist - Some Song"},
  };
  for (const Case &c : cases) {
    if (window) sim::removeWindow(window);
    startPlayer(scrolled);
    sim::writeProcessMemory(window, titlePage, "Some Artist - Some Song");
    titleAddress = titlePage;
    sim::processOpens().clear();
    sim::memoryReads().clear();
    sim::setOwnWow64(c.own);
    sim::setWow64(window, c.player);
    if (c.withoutIsWow64Process) sim::removeIsWow64Process();
    EXPECT_EQ(keywordAnswerWith("nowplaying-format=%number%|%title%"), c.line) << c.what;
    std::vector<Query> expected = trackQueries;
    expected.insert(expected.end(), playlistQueries.begin(), playlistQueries.end());
    EXPECT_EQ(queries(), expected) << c.what;
    ASSERT_EQ(sim::processOpens().size(), 1u) << c.what;
    EXPECT_EQ(sim::processOpens()[0].access, PROCESS_QUERY_INFORMATION | PROCESS_VM_READ);
    EXPECT_EQ(sim::memoryReads().size(), c.line == "12|" + track ? 0u : 1u) << c.what;
    EXPECT_EQ(sim::openProcesses(), 0) << c.what;
  }
}

TEST_P(NowPlaying, FormatsWithoutTitleOrNumberAskNothingMoreAndOpenNoProcess) {
  startPlayer(scrolled);
  sim::writeProcessMemory(window, titlePage, "Some Artist - Some Song");
  titleAddress = titlePage;
  struct Case {
    std::string lines;
    std::vector<Query> more;
    std::string line;
  } cases[] = {
      {"", {}, ">Winamp: Some Song (44KHz/128kbps/stereo)"},
      {"nowplaying-format=>Winamp: %track% (%khz%KHz/%kbps%kbps/%channels%)",
       {},
       ">Winamp: Some Song (44KHz/128kbps/stereo)"},
      {"nowplaying-format=%%title%% %Title% %titles% %numbers% %num% %title",
       {},
       "%title% %Title% %titles% %numbers% %num% %title"},
      {"nowplaying-format=%track% %len%", {{WM_USER, 1, 105}}, "Some Song 3:35"},
      // The number alone needs no title: no title asked, no process opened.
      {"nowplaying-format=%number%", {{WM_USER, 0, 125}}, "12"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(keywordAnswerWith(c.lines), c.line) << c.lines;
    std::vector<Query> expected = trackQueries;
    expected.insert(expected.end(), c.more.begin(), c.more.end());
    EXPECT_EQ(queries(), expected) << c.lines;
    EXPECT_TRUE(sim::processOpens().empty()) << c.lines;
  }
}

// A 64-bit plug-in and a 64-bit player: the title's address need not fit in 32 bits.
TEST_F(NativePluginTest, TheTitleOfA64BitPlayerIsReadAboveFourGiB) {
  constexpr std::uintptr_t high = 0x7FFF00000FF0;
  HWND player = sim::addWindow("Winamp v1.x", scrolled, [](UINT m, WPARAM w, LPARAM l) {
    if (m != WM_USER) return LRESULT{0};
    return l == 125 ? LRESULT{4} : l == 212 && w == 4 ? static_cast<LRESULT>(high) : LRESULT{1};
  });
  sim::writeProcessMemory(player, high, "Some Artist - Some Song");
  initialiseWith("autoanswer-key=np\r\nnowplaying-format=%number%. %title%");
  deliver(messageEvent(9, "np"));
  ASSERT_EQ(requestKinds(), std::vector<std::string>{"sendMessage"});
  EXPECT_EQ(messenger().requests[0].text, "5. Some Artist - Some Song");
  ASSERT_EQ(sim::memoryReads().size(), 2u);
  EXPECT_EQ(sim::memoryReads()[0].address, high);
  EXPECT_EQ(sim::memoryReads()[0].size, 16u);
}

} // namespace
