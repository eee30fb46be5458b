// The now-playing line: composed from its format, the player's caption and answers, sent to a
// contact.
#include "harness.h"

#include "player/nowplaying.h"
#include "player/playlist.h"

#include <fstream>
#include <functional>

namespace {

TEST(ComposeNowPlaying, CutsTheCaptionAtItsSuffixAndAppendsTheTrackData) {
  struct Case {
    std::string caption;
    std::int32_t state;
    TrackInfoAnswers info;
    std::string line;
  } cases[] = {
      {"1. A - B - Winamp", 1, {44, 128, 2}, ">Winamp: 1. A - B (44KHz/128kbps/stereo)"},
      {"Song - Winamp [Paused]", 3, {44, 128, 1}, ">Winamp: Song (44KHz/128kbps/mono)"},
      {"Song - Winamp [Stopped]", 0, {44, 128, 2}, ">Winamp: Song (44KHz/128kbps/stereo)"},
      // Stopped or paused, but the caption lacks " [Stopped]" or " [Paused]": nothing is cut.
      {"Song - Winamp", 0, {0, 0, 0}, ">Winamp: Song - Winamp (0KHz/0kbps/0ch)"},
      {"Song - Winamp", 3, {44, 128, 2}, ">Winamp: Song - Winamp (44KHz/128kbps/stereo)"},
      // The first occurrence counts.
      {"Band - Winamp Blues - Winamp", 1, {48, 320, 6}, ">Winamp: Band (48KHz/320kbps/6ch)"},
      // Any state but 0 and 3 reads as playing; the search is case-sensitive.
      {"Song - Winamp [Paused]", 7, {22, 64, 1}, ">Winamp: Song (22KHz/64kbps/mono)"},
      {"  S - WINAMP - Winamp", 1, {-1, -128, -2}, ">Winamp:   S - WINAMP (-1KHz/-128kbps/-2ch)"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(composeNowPlaying(c.caption, c.state, c.info), c.line) << c.caption;
}

// Windows-1251: "Listening to: "
const std::string listening = "\xD1\xEB\xF3\xF8\xE0\xFE: ";

TEST(ComposeNowPlaying, FillsInEachPlaceholderAndLeavesEverythingElseAsWritten) {
  const TrackInfoAnswers info{48, 320, 6, 83500, 215};
  struct Case {
    std::string format, line;
  } cases[] = {
      {"%track%", "1. A - B"},
      {"%khz%", "48"},
      {"%kbps%", "320"},
      {"%channels%", "6ch"},
      {"%pos%", "1:23"},
      {"%len%", "3:35"},
      {"%%", "%"},
      {listening + "%track% [%pos%/%len%]", listening + "1. A - B [1:23/3:35]"},
      {"%khz%%kbps%%channels%", "483206ch"},
      // Unknown names, other capitals and lone signs stay; a lone sign does not swallow the
      // placeholder behind it.
      {"%artist% %TRACK% % track% 100% %khz%", "%artist% %TRACK% % track% 100% 48"},
      {"%%track%%", "%track%"},
      {"%%%pos%", "%1:23"},
      // Formats that end inside a placeholder.
      {"%", "%"},
      {"%%%", "%%"},
      {"a%trac", "a%trac"},
      {"%pos", "%pos"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(composeNowPlaying("1. A - B - Winamp", 1, info, c.format), c.line) << c.format;
  // What the caption brings in is not read as a format.
  EXPECT_EQ(composeNowPlaying("%pos% 100% %% - Winamp", 1, info, "<%track%>"), "<%pos% 100% %%>");
}

TEST(ComposeNowPlaying, AnEmptyFormatAndTheDefaultGiveTheLineAsItWas) {
  const TrackInfoAnswers info{44, 128, 2, 83500, 215};
  for (std::string format : {"", ">Winamp: %track% (%khz%KHz/%kbps%kbps/%channels%)"}) {
    EXPECT_EQ(composeNowPlaying("12. Some Artist - Some Song - Winamp", 1, info, format),
              ">Winamp: 12. Some Artist - Some Song (44KHz/128kbps/stereo)");
    EXPECT_EQ(composeNowPlaying("Song - Winamp [Paused]", 3, {22, 64, 1}, format),
              ">Winamp: Song (22KHz/64kbps/mono)");
  }
}

TEST(ComposeNowPlaying, TimesReadMinutesBelowAnHourHoursFromThereAndNothingWhenUnknown) {
  struct Case {
    std::int32_t positionMs, lengthSeconds;
    std::string line;
  } cases[] = {
      {0, 0, "0:00/0:00"},
      {999, 59, "0:00/0:59"},
      {61000, 60, "1:01/1:00"},
      {3599999, 3599, "59:59/59:59"},
      {3600000, 3600, "1:00:00/1:00:00"},
      {36061000, 86399, "10:01:01/23:59:59"},
      {2147483647, 2147483647, "596:31:23/596523:14:07"},
      {-1, 215, "/3:35"},
      {-999, -1, "/"},
      {83500, -2147483647 - 1, "1:23/"},
  };
  for (const Case &c : cases)
    EXPECT_EQ(composeNowPlaying("Song - Winamp", 1, {44, 128, 2, c.positionMs, c.lengthSeconds},
                                "%pos%/%len%"),
              c.line)
        << c.positionMs << " " << c.lengthSeconds;
}

TEST(ComposeNowPlaying, TheLineIsCutAt1024Bytes) {
  const std::string caption = std::string(254, 't');
  const TrackInfoAnswers info{44, 128, 2, 83500, 215};
  struct Case {
    std::string format, line;
  } cases[] = {
      {std::string(1020, 'x') + "%track%", std::string(1020, 'x') + "tttt"},
      {std::string(1023, 'x') + "%%%%", std::string(1023, 'x') + "%"},
      {std::string(1022, 'x') + "%pos%", std::string(1022, 'x') + "1:"},
      {std::string(5000, 'y'), std::string(1024, 'y')},
      {std::string(1024, 'x') + "%len%", std::string(1024, 'x')},
  };
  for (const Case &c : cases)
    EXPECT_EQ(composeNowPlaying(caption, 1, info, c.format), c.line) << c.format.size();
  std::string many;
  for (int i = 0; i < 10; ++i) many += "%track%";
  EXPECT_EQ(composeNowPlaying(caption, 1, info, many), std::string(1024, 't'));
}

TEST(ComposeNowPlaying, TheTitleAndNumberOfThePlaylistEntryAndTheTrackWhenThereIsNoTitle) {
  TrackInfoAnswers info{44, 128, 2, 83500, 215, 11, "Some Artist - Some Song"};
  const std::string caption = "Some Song - Winamp *** 12. Some Artist - ";
  struct Case {
    std::int32_t index;
    std::string title, format, line;
  } cases[] = {
      {11, "Some Artist - Some Song", "%number%. %title% [%track%]",
       "12. Some Artist - Some Song [Some Song]"},
      {0, "A", "%number%%title%%number%", "1A1"},
      {2147483647, "A", "%number%", "2147483648"},
      // Unknown: no number, and the track stands in for the title.
      {-1, "", "%number%|%title%", "|Some Song"},
      {-2147483647 - 1, "", "<%number%>", "<>"},
      {3, "", "%number%. %title%", "4. Some Song"},
      // What the title brings in is not read as a format; near names stay as written.
      {3, "%track% 100%", "%title% %Title% %titles% %numbers% %%title%%",
       "%track% 100% "
       "%Title% %titles% "
       "%numbers% %title%"},
      {3, "A", "%title", "%title"},
  };
  for (const Case &c : cases) {
    info.playlistIndex = c.index;
    info.title = c.title;
    EXPECT_EQ(composeNowPlaying(caption, 1, info, c.format), c.line) << c.format;
  }
  info.title = std::string(300, 't');
  EXPECT_EQ(composeNowPlaying(caption, 1, info, std::string(1000, 'x') + "%title%"),
            std::string(1000, 'x') + std::string(24, 't'));
  // The default line shows neither.
  EXPECT_EQ(composeNowPlaying(caption, 1, info), ">Winamp: Some Song (44KHz/128kbps/stereo)");
}

TEST(TitleChunk, NoReadReachesPastThePageThatHoldsItsFirstByteNorPast255Bytes) {
  struct Case {
    std::uintptr_t at;
    std::size_t taken, chunk;
  } cases[] = {
      {0x00A01000, 0, 255}, {0x00A01F01, 0, 255},   {0x00A01F02, 0, 254},  {0x00A01FFF, 0, 1},
      {0x00A02000, 1, 254}, {0x00A01FF0, 0, 16},    {0x00A02000, 16, 239}, {0x00A02000, 254, 1},
      {0x00A01FFE, 250, 2}, {0x00A02800, 100, 155}, {0xFFFFFFF0, 0, 16},   {0x7FFFFFFEFFFA, 0, 6},
  };
  for (const Case &c : cases)
    EXPECT_EQ(titleChunk(c.at, c.taken), c.chunk) << std::hex << c.at << " " << c.taken;
}

using Query = std::tuple<UINT, WPARAM, LPARAM>;

class NowPlaying : public PluginTest {
protected:
  LRESULT answers[4] = {1, 44, 128, 2}; // state, sample rate, bit rate, channels
  LRESULT times[2] = {83500, 215};      // position in ms, length in seconds
  LRESULT playlistIndex = 11;           // the current entry, counted from 0
  LRESULT titleAddress = 0;             // where the current entry's title lies in its memory
  std::vector<std::size_t> requestsAtQuery;
  HWND window = nullptr;
  void startPlayer(const std::string &caption) {
    window = sim::addWindow("Winamp v1.x", caption, [this](UINT m, WPARAM w, LPARAM l) {
      requestsAtQuery.push_back(messenger().requests.size());
      if (m != WM_USER) return LRESULT{0};
      if (l == 105 && w <= 1) return times[w];
      if (l == 125) return playlistIndex;
      if (l == 212) return w == static_cast<WPARAM>(playlistIndex) ? titleAddress : LRESULT{0};
      return l == 104 ? answers[0] : l == 126 && w <= 2 ? answers[1 + w] : LRESULT{0};
    });
  }
  std::vector<Query> queries() {
    std::vector<Query> out;
    for (const sim::SentMessage &m : sim::sentMessages()) {
      EXPECT_EQ(m.window, window);
      out.emplace_back(m.message, m.wParam, m.lParam);
    }
    return out;
  }
  // A press of the send button: the player hears these queries, each bounded, before the
  // messenger is asked for the chat and then sent the line.
  void expectAskedBeforeTheChat(const std::vector<Query> &expected) {
    EXPECT_EQ(queries(), expected);
    for (const sim::SentMessage &m : sim::sentMessages())
      EXPECT_TRUE(m.bounded && m.timeout == 5000) << "an unbounded query, lParam " << m.lParam;
    EXPECT_EQ(requestsAtQuery, std::vector<std::size_t>(expected.size(), 1));
    ASSERT_EQ(requestKinds(),
              (std::vector<std::string>{"addButton", "getChatContact", "sendMessage"}));
  }
};

TEST_P(NowPlaying, TheSendButtonAsksForTheChatAfterTheQueriesAndSendsTheExactBytes) {
  initialiseWith("button-send=yes");
  startPlayer("12. Some Artist - Some Song - Winamp");
  press(0);
  EXPECT_EQ(queries(),
            (std::vector<Query>{
                {WM_USER, 0, 104}, {WM_USER, 0, 126}, {WM_USER, 1, 126}, {WM_USER, 2, 126}}));
  EXPECT_EQ(requestsAtQuery, (std::vector<std::size_t>{1, 1, 1, 1}));
  ASSERT_EQ(requestKinds(),
            (std::vector<std::string>{"addButton", "getChatContact", "sendMessage"}));
  EXPECT_EQ(hex(messenger().requests[1].framed), "02 00 00 00 01 C9");
  const std::string line = ">Winamp: 12. Some Artist - Some Song (44KHz/128kbps/stereo)";
  EXPECT_EQ(
      hex(messenger().requests[2].framed),
      hex(bytes({73, 0, 0, 0, 0x05, 0x01, 0x41, 0x01, 0, 0, 0, 0, 0, 0, 59, 0, 0, 0}) + line));
}

TEST_P(NowPlaying, OnlyCaptionsOfTwelveOrMoreCharactersAndOnly254OfThemAreSeen) {
  initialiseWith("button-send=yes");
  startPlayer("");
  const std::string tail = " (44KHz/128kbps/stereo)";
  struct Case {
    std::string caption, line; // line empty: nothing is sent
  } cases[] = {
      {"", ""},
      {"abcdefghijk", ""},
      {"abcdefghijkl", ">Winamp: abcdefghijkl" + tail},
      {std::string(240, 'y') + " - Winamp" + std::string(20, 'z'),
       ">Winamp: " + std::string(240, 'y') + tail},
      // The suffix starts at character 250 and is cut off at 254: nothing is cut.
      {std::string(250, 'x') + " - Winamp", ">Winamp: " + std::string(250, 'x') + " - W" + tail},
  };
  for (const Case &c : cases) {
    sim::setCaption(window, c.caption);
    sim::sentMessages().clear();
    messenger().requests.resize(1);
    press(0);
    if (c.line.empty()) {
      EXPECT_TRUE(sim::sentMessages().empty()) << c.caption;
      EXPECT_EQ(messenger().requests.size(), 1u) << c.caption;
    } else {
      ASSERT_EQ(requestKinds().back(), "sendMessage") << c.caption;
      EXPECT_EQ(messenger().requests.back().text, c.line);
    }
  }
}

const std::vector<Query> trackQueries{
    {WM_USER, 0, 104}, {WM_USER, 0, 126}, {WM_USER, 1, 126}, {WM_USER, 2, 126}};

TEST_P(NowPlaying, TheSendButtonAsksForTheTimeAfterTheTrackDataBoundedAndBeforeTheChat) {
  initialiseWith("button-send=yes\r\nnowplaying-format=%track% [%pos%/%len%]");
  startPlayer("1. A - B - Winamp");
  press(0);
  std::vector<Query> expected = trackQueries;
  expected.insert(expected.end(), {{WM_USER, 0, 105}, {WM_USER, 1, 105}});
  expectAskedBeforeTheChat(expected);
  ASSERT_EQ(messenger().requests.size(), 3u);
  EXPECT_EQ(messenger().requests[2].idOrContact, 321);
  EXPECT_EQ(messenger().requests[2].text, "1. A - B [1:23/3:35]");
}

TEST_P(NowPlaying, ThePlayerIsAskedOnlyForTheTimeTheFormatShows) {
  startPlayer("1. A - B - Winamp");
  struct Case {
    std::string format;
    std::vector<Query> timeQueries;
    std::string line;
  } cases[] = {
      {"%len% %len% %pos%", {{WM_USER, 0, 105}, {WM_USER, 1, 105}}, "3:35 3:35 1:23"},
      {"at %pos%", {{WM_USER, 0, 105}}, "at 1:23"},
      {"of %len%", {{WM_USER, 1, 105}}, "of 3:35"},
      // Without the placeholders the player hears exactly what it always heard.
      {"%%pos%% %%len%% %position% %Len%", {}, "%pos% %len% %position% %Len%"},
      {"", {}, ">Winamp: 1. A - B (44KHz/128kbps/stereo)"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(keywordAnswerWith("nowplaying-format=" + c.format), c.line) << c.format;
    std::vector<Query> expected = trackQueries;
    expected.insert(expected.end(), c.timeQueries.begin(), c.timeQueries.end());
    EXPECT_EQ(queries(), expected) << c.format;
  }
}

TEST_P(NowPlaying, TheKeywordAnswerTakesTheFormatAndShowsUnknownTimesAsNothing) {
  initialiseWith("autoanswer-key=np\r\nnowplaying-format=" + listening +
                 "%track% [%pos%/%len%] %khz%/%kbps%/%channels%");
  startPlayer("7. Band - Tune - Winamp [Paused]");
  answers[0] = 3;
  times[0] = -1;
  times[1] = -1;
  EXPECT_EQ(hex(deliver(messageEvent(9, " NP "))), "01 00 00 00 04");
  ASSERT_EQ(requestKinds(), std::vector<std::string>{"sendMessage"});
  EXPECT_EQ(messenger().requests[0].idOrContact, 9);
  EXPECT_EQ(messenger().requests[0].text, listening + "7. Band - Tune [/] 44/128/stereo");
}

TEST_P(NowPlaying, TimesOfAPlayerThatStopsAnsweringShowAsNothingAndTheOtherNumbersAsBefore) {
  const std::string format = "nowplaying-format=%track% [%pos%/%len%] %khz%/%channels%";
  startPlayer("1. A - B - Winamp");
  // It hangs after the track data, before the time queries.
  sim::WindowProc answer = [this](UINT m, WPARAM w, LPARAM l) {
    if (m == WM_USER && l == 126 && w == 2) sim::setHung(window, true);
    return m != WM_USER ? 0 : l == 104 ? answers[0] : l == 126 ? answers[1 + w] : 0;
  };
  sim::removeWindow(window);
  window = sim::addWindow("Winamp v1.x", "1. A - B - Winamp", answer);
  EXPECT_EQ(keywordAnswerWith(format), "1. A - B [/] 44/stereo");
  // Hung from the start: the caption still reads, every number is 0 and the times unknown.
  EXPECT_EQ(keywordAnswerWith(format), "1. A - B - Winamp [/] 0/0ch");
  EXPECT_EQ(keywordAnswerWith("nowplaying-format="), ">Winamp: 1. A - B - Winamp (0KHz/0kbps/0ch)");
}

TEST_P(NowPlaying, TheFormatIsTakenAsBytesAndItsLastLineWins) {
  startPlayer("1. A - B - Winamp");
  const std::string defaultLine = ">Winamp: 1. A - B (44KHz/128kbps/stereo)";
  struct Case {
    std::string lines, line;
  } cases[] = {
      {"nowplaying-format= %track% = %khz% ", " 1. A - B = 44 "},
      {"nowplaying-format=a\r\nnowplaying-format=b %kbps%\r\n", "b 128"},
      {"nowplaying-format=a\tb\rc\n%channels%", "a\tb\rc\nstereo"},
      {"nowplaying-format=a\r\nnowplaying-format=", defaultLine},
      {"nowplaying-format=a\r\nnowplaying-format", defaultLine},
      {"nowplaying-format=\r\nNowplaying-format=a\r\nnowplaying-format =b\r\nnowplaying_format=c",
       defaultLine},
  };
  for (const Case &c : cases) EXPECT_EQ(keywordAnswerWith(c.lines), c.line) << c.lines;
}

TEST_P(NowPlaying, WithoutAPlayerNothingIsSentAndNothingStarted) {
  std::filesystem::create_directories("p");
  std::ofstream("p/winamp.exe") << "MZ";
  initialiseWith("button-send=yes\r\nautoanswer-key=np\r\ncustom-player=p\\winamp.exe");
  press(0);
  EXPECT_EQ(hex(deliver(messageEvent(9, "np"))), "01 00 00 00 04");
  EXPECT_EQ(requestKinds(), std::vector<std::string>{"addButton"});
  EXPECT_TRUE(sim::sentMessages().empty());
  EXPECT_TRUE(sim::shellCalls().empty());
  EXPECT_TRUE(sim::messageBoxes().empty());
}

// "Winamp runs as administrator"
const std::string refusedText =
    "Winamp runs as administrator\r\n\r\nWinamp \xE7\xE0\xEF\xF3\xF9\xE5\xED \xEE\xF2 "
    "\xE8\xEC\xE5\xED\xE8 \xE0\xE4\xEC\xE8\xED\xE8\xF1\xF2\xF0\xE0\xF2\xEE\xF0\xE0";

TEST_P(NowPlaying, APlayerRunningAsAdministratorGetsNoLineOutAndOnlyThePressSaysWhy) {
  initialiseWith("button-send=yes\r\nautoanswer-key=np\r\n"
                 "nowplaying-format=%track% %pos%/%len% %number% %title%");
  startPlayer("1. A - B - Winamp");
  // It refuses from the first query, or from a later one on: nothing more is asked then.
  struct Case {
    std::size_t firstRefused; // the query that is refused, 0-based
  } cases[] = {{0}, {2}, {5}, {6}, {7}};
  for (const Case &c : cases) {
    sim::WindowProc proc = [this, &c](UINT, WPARAM w, LPARAM l) -> LRESULT {
      if (sim::sentMessages().size() == c.firstRefused) sim::setRefusing(window, true);
      if (l == 125) return playlistIndex;
      return l == 104 ? answers[0] : l == 126 ? answers[1 + w] : l == 105 ? times[w] : 0;
    };
    sim::removeWindow(window);
    window = sim::addWindow("Winamp v1.x", "1. A - B - Winamp", proc);
    sim::setRefusing(window, c.firstRefused == 0);
    sim::sentMessages().clear();
    sim::messageBoxes().clear();
    messenger().requests.resize(1);
    EXPECT_EQ(hex(deliver(messageEvent(9, "np"))), "01 00 00 00 04") << c.firstRefused;
    EXPECT_EQ(sim::sentMessages().size(), c.firstRefused + 1);
    EXPECT_TRUE(sim::messageBoxes().empty()) << "nobody pressed anything";
    sim::setRefusing(window, c.firstRefused == 0);
    sim::sentMessages().clear();
    press(0);
    EXPECT_EQ(sim::sentMessages().size(), c.firstRefused + 1);
    ASSERT_EQ(sim::messageBoxes().size(), 1u) << c.firstRefused;
    const sim::MessageBoxCall &box = sim::messageBoxes()[0];
    EXPECT_EQ(std::tie(box.owner, box.text, box.caption, box.flags),
              std::make_tuple(nullptr, refusedText, "", 0x2010u));
    EXPECT_EQ(requestKinds(), std::vector<std::string>{"addButton"}) << c.firstRefused;
  }
}

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

ON_BOTH_BUILDS(NowPlaying);

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
