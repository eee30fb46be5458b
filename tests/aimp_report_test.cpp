// The now-playing line from AIMP: its shared block read without trusting it, the track named
// and converted to the ANSI code page, the times asked from AIMP's properties.
#include "harness.h"

#include "fuzz/driver.h"

#include "player/aimp/block.h"
#include "player/aimp/report.h"

#include <tuple>

namespace {

using driver::aimpProperty;
using Header = driver::AimpHeader;
using Texts = driver::AimpTexts;
using driver::aimpBlock;

std::string ansi(const WideText &text) {
  std::string out;
  for (WCHAR c : text) out += static_cast<char>(c);
  return out;
}

TEST(AimpBlock, TheHeaderAndTheStringsAreReadAndNothingPastTheBlock) {
  Texts texts{u"Album", u"Artist", u"2024", u"C:\\Music\\song.mp3", u"Rock", u"Title"};
  std::optional<AimpTrack> track = parseAimpBlock(aimpBlock({}, texts));
  ASSERT_TRUE(track);
  EXPECT_EQ(std::make_tuple(track->bitRate, track->channels, track->sampleRate, track->trackNumber),
            std::make_tuple(320, 2, 44100, 7u));
  EXPECT_EQ(ansi(track->artist) + "|" + ansi(track->title) + "|" + ansi(track->fileName),
            "Artist|Title|C:\\Music\\song.mp3");
  // Lengths that run past the 2048 bytes: that string and those after it are empty.
  struct Case {
    std::array<std::uint32_t, 6> lengths;
    std::string seen; // artist|title|file name
  } cases[] = {
      {{5, 6, 4, 17, 4, 980}, "Artist||C:\\Music\\song.mp3"},
      {{5, 6, 4, 17, 4, 5}, "Artist|Title|C:\\Music\\song.mp3"},
      {{0xFFFFFFFF, 6, 4, 17, 4, 5}, "||"},
      {{5, 0x7FFFFFFF, 4, 17, 4, 5}, "||"},
      {{5, 6, 4, 0x80000000, 4, 5}, "Artist||"},
  };
  for (const Case &c : cases) {
    track = parseAimpBlock(aimpBlock({}, texts, &c.lengths));
    ASSERT_TRUE(track);
    EXPECT_EQ(ansi(track->artist) + "|" + ansi(track->title).substr(0, 5) + "|" +
                  ansi(track->fileName),
              c.seen)
        << c.lengths[5];
  }
  // Exactly to the block's end: 88 + 2 * 980 = 2048.
  const std::array<std::uint32_t, 6> toTheEnd{0, 0, 0, 0, 0, 980};
  EXPECT_EQ(parseAimpBlock(aimpBlock({}, Texts{}, &toTheEnd))->title.size(), 980u);
}

TEST(AimpBlock, ABlockWithAnotherHeaderSizeInactiveOrTooShortHoldsNoTrack) {
  Texts texts{u"", u"A", u"", u"", u"", u"T"};
  for (std::uint32_t size : {0u, 87u, 89u, 2048u}) {
    Header h;
    h.headerSize = size;
    EXPECT_FALSE(parseAimpBlock(aimpBlock(h, texts))) << size;
  }
  Header inactive;
  inactive.active = 0;
  EXPECT_FALSE(parseAimpBlock(aimpBlock(inactive, texts)));
  EXPECT_FALSE(parseAimpBlock(aimpBlock({}, texts).substr(0, 87)));
  EXPECT_TRUE(parseAimpBlock(aimpBlock({}, texts).substr(0, 88)));
}

TEST(AimpBlock, TheTrackIsArtistAndTitleElseTheTitleAndTheFileNameStandsInForNoTitle) {
  struct Case {
    std::u16string artist, title, fileName;
    std::string track;
  } cases[] = {
      {u"Artist", u"Title", u"C:\\a.mp3", "Artist - Title"},
      {u"", u"Title", u"C:\\a.mp3", "Title"},
      {u"", u"", u"C:\\Music\\song.mp3", "song.mp3"},
      {u"", u"", u"D:/Music/song.flac", "song.flac"},
      {u"", u"", u"song.ogg", "song.ogg"},
      {u"Artist", u"", u"C:\\Music\\song.mp3", "Artist - song.mp3"},
      {u"", u"", u"", ""},
  };
  for (const Case &c : cases) {
    AimpTrack track;
    track.artist.assign(c.artist.begin(), c.artist.end());
    track.title.assign(c.title.begin(), c.title.end());
    track.fileName.assign(c.fileName.begin(), c.fileName.end());
    EXPECT_EQ(ansi(aimpTrackName(track)), c.track);
  }
}

// «Исполнитель - Песня» in Windows-1251.
const std::string cyrillicTrack =
    "\xC8\xF1\xEF\xEE\xEB\xED\xE8\xF2\xE5\xEB\xFC - \xCF\xE5\xF1\xED\xFF";

class AimpLine : public PluginTest {
protected:
  HWND window = nullptr;
  void startAimp(const std::string &block) {
    driver::PlayerAnswers answers;
    answers.positionMs = 83500;
    answers.lengthSeconds = 215000; // AIMP's duration is in ms
    window = driver::addAimp(block, answers);
  }
};

TEST_P(AimpLine, TheKeywordGetsAimpsTrackInTheAnsiCodePage) {
  startAimp(aimpBlock({}, {u"", u"Исполнитель", u"", u"C:\\x.mp3", u"", u"Песня"}));
  EXPECT_EQ(keywordAnswerWith(""), ">AIMP: " + cyrillicTrack + " (44KHz/320kbps/stereo)");
  // The default line asks AIMP nothing; the block is opened to be read, and closed.
  EXPECT_TRUE(sim::sentMessages().empty());
  ASSERT_EQ(sim::mappingOpens().size(), 1u);
  const sim::MappingOpen &open = sim::mappingOpens()[0];
  EXPECT_EQ(std::make_tuple(open.access, open.inheritHandle, open.name),
            std::make_tuple(FILE_MAP_READ, FALSE, std::string("AIMP2_RemoteInfo")));
}

TEST_P(AimpLine, EveryPlaceholderWorksAndTheTimesComeFromTheProperties) {
  startAimp(aimpBlock({}, {u"", u"A", u"", u"", u"", u"T"}));
  EXPECT_EQ(keywordAnswerWith("nowplaying-format=%title%|%track%|%number%|%pos%|%len%|%%"),
            "A - T|A - T|7|1:23|3:35|%");
  using Query = std::tuple<UINT, WPARAM, LPARAM>;
  std::vector<Query> queries;
  for (const sim::SentMessage &m : sim::sentMessages()) {
    EXPECT_TRUE(m.bounded && m.window == window);
    queries.emplace_back(m.message, m.wParam, m.lParam);
  }
  EXPECT_EQ(queries, (std::vector<Query>{{aimpProperty, 0x20, 0}, {aimpProperty, 0x30, 0}}));
  // Times AIMP does not tell show as nothing; a track number of 0 is none.
  sim::setHung(window, true);
  Header h;
  h.trackNumber = 0;
  sim::createFileMapping("AIMP2_RemoteInfo", aimpBlock(h, {u"", u"A", u"", u"", u"", u"T"}));
  EXPECT_EQ(keywordAnswerWith("nowplaying-format=%number%|%pos%|%len%"), "||");
}

TEST_P(AimpLine, WithoutAUsableBlockNothingIsSent) {
  Texts texts{u"", u"A", u"", u"", u"", u"T"};
  Header inactive, otherSize;
  inactive.active = 0;
  otherSize.headerSize = 92;
  for (const std::string &block : {aimpBlock(inactive, texts), aimpBlock(otherSize, texts),
                                   aimpBlock({}, texts).substr(0, 2047)}) {
    startAimp(block);
    EXPECT_EQ(keywordAnswerWith(""), "(no line)");
    sim::removeWindow(window);
  }
  // AIMP's window without its block.
  sim::reset();
  window = sim::addWindow("AIMP2_RemoteInfo", "", nullptr);
  EXPECT_EQ(keywordAnswerWith(""), "(no line)");
  EXPECT_EQ(sim::mappingOpens().size(), 1u);
}

TEST_P(AimpLine, TheSendButtonSendsAimpsLineToTheOpenChatAndARefusalSaysWhy) {
  startAimp(aimpBlock({}, {u"", u"", u"", u"C:\\Music\\song.mp3", u"", u""}));
  initialiseWith("button-send=yes");
  press(0);
  ASSERT_EQ(requestKinds(),
            (std::vector<std::string>{"addButton", "getChatContact", "sendMessage"}));
  EXPECT_EQ(messenger().requests[2].text, ">AIMP: song.mp3 (44KHz/320kbps/stereo)");
  sim::setRefusing(window, true);
  initialiseWith("button-send=yes\r\nnowplaying-format=%pos%");
  std::size_t before = messenger().requests.size();
  press(0);
  EXPECT_EQ(messenger().requests.size(), before);
  EXPECT_EQ(sim::messageBoxes().size(), 1u);
}

ON_BOTH_BUILDS(AimpLine);

} // namespace
