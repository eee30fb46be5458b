// Players that answer Winamp's messages with quirks of their own, as foobar2000's imitation of
// Winamp does: its rate in Hz, a caption without a state suffix.
#include "harness.h"

#include "player/winamp/report.h"

namespace {

TEST(RateInKhz, AnswersFrom1000UpAreHertzAndWinampsOwnKilohertzStayAsTheyCome) {
  struct Case {
    std::int32_t answer, khz;
  } cases[] = {
      {44, 44},
      {0, 0},
      {-1, -1},
      {999, 999},
      {1000, 1},
      {22050, 22},
      {44100, 44},
      {48000, 48},
      {96000, 96},
      {192000, 192},
      {2147483647, 2147483},
      {-44100, -44100},
  };
  for (const Case &c : cases) EXPECT_EQ(rateInKhz(c.answer), c.khz) << c.answer;
}

// foobar2000's window: the Winamp class, a caption "<index>. [artist - ]title - Winamp" whatever
// the state, and the rate in Hz.
class Imitator : public PluginTest {
protected:
  LRESULT state = 1;
  LRESULT sampleRate = 44100;
  LRESULT titleAddress = 0x00A00000; // its entries' titles, whatever entry is asked for
  HWND window = nullptr;
  void startImitator(const std::string &caption) {
    window = sim::addWindow("Winamp v1.x", caption, [this](UINT m, WPARAM w, LPARAM l) {
      if (m != WM_USER) return LRESULT{0};
      if (l == 104) return state;
      if (l == 126) return w == 0 ? sampleRate : w == 1 ? LRESULT{320} : w == 2 ? 2 : 0;
      if (l == 212) return titleAddress;
      return LRESULT{0};
    });
  }
};

TEST_P(Imitator, ARateInHertzIsShownInKilohertz) {
  startImitator("0. Some Artist - Some Song - Winamp");
  EXPECT_EQ(keywordAnswerWith(""), ">Winamp: 0. Some Artist - Some Song (44KHz/320kbps/stereo)");
  sampleRate = 48000;
  EXPECT_EQ(keywordAnswerWith(""), ">Winamp: 0. Some Artist - Some Song (48KHz/320kbps/stereo)");
  // Winamp's own answer stays as it comes.
  sampleRate = 44;
  EXPECT_EQ(keywordAnswerWith(""), ">Winamp: 0. Some Artist - Some Song (44KHz/320kbps/stereo)");
}

TEST_P(Imitator, ACaptionWithoutAStateSuffixIsTakenWhole) {
  startImitator("0. Some Artist - Some Song - Winamp");
  state = 3;
  EXPECT_EQ(keywordAnswerWith(""),
            ">Winamp: 0. Some Artist - Some Song - Winamp (44KHz/320kbps/stereo)");
  state = 0;
  EXPECT_EQ(keywordAnswerWith(""),
            ">Winamp: 0. Some Artist - Some Song - Winamp (44KHz/320kbps/stereo)");
}

TEST_P(Imitator, AUtf8TitleReachesTheChatInTheAnsiCodePageAndAnyOtherAsItWas) {
  startImitator("0. Some Artist - Some Song - Winamp");
  // «Песня» in Windows-1251.
  const std::string song = "\xCF\xE5\xF1\xED\xFF";
  struct Case {
    std::string title, line;
  } cases[] = {
      {"\xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F", song},
      {"A - \xD0\x9F\xD0\xB5\xD1\x81\xD0\xBD\xD1\x8F", "A - " + song},
      // Winamp's own ANSI title, plain ASCII, and bytes that are not UTF-8 go as they are.
      {song, song},
      {"Plain Title", "Plain Title"},
      {"\xD0\x9F\xD0", "\xD0\x9F\xD0"},
      {"\xC0\xAF", "\xC0\xAF"},
  };
  for (const Case &c : cases) {
    sim::writeProcessMemory(window, 0x00A00000, c.title + '\0');
    EXPECT_EQ(keywordAnswerWith("nowplaying-format=%title%"), c.line) << hex(c.title);
  }
}

ON_BOTH_BUILDS(Imitator);

} // namespace
