// The now-playing line: composed from the player's caption and answers, sent to a contact.
#include "harness.h"

#include "player/nowplaying.h"

#include <fstream>

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

using Query = std::tuple<UINT, WPARAM, LPARAM>;

class NowPlaying : public PluginTest {
protected:
  LRESULT answers[4] = {1, 44, 128, 2}; // state, sample rate, bit rate, channels
  std::vector<std::size_t> requestsAtQuery;
  HWND window = nullptr;
  void startPlayer(const std::string &caption) {
    window = sim::addWindow("Winamp v1.x", caption, [this](UINT m, WPARAM w, LPARAM l) {
      requestsAtQuery.push_back(messenger().requests.size());
      if (m != WM_USER) return LRESULT{0};
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

ON_BOTH_BUILDS(NowPlaying);

} // namespace
