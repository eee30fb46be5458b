// The now-playing line sent to a contact: the queries it takes, their order against the
// messenger's requests, the format, and a player that does not answer or refuses.
#include "nowplaying.h"

#include <fstream>

namespace {

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

ON_BOTH_BUILDS(NowPlaying);

} // namespace
