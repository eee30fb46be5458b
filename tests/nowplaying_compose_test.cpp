// The now-playing line composed from its format, the player's caption and answers; and how
// much of a title one read of the player's memory may take.
#include "nowplaying.h"

#include "player/winamp/playlist.h"
#include "player/winamp/report.h"

#include <string>

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

} // namespace
