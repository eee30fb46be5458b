// Any player through Windows' media sessions: the buttons and the line with the current
// session, the bound on a press whose operation does not end, and everything as before where
// there is no session manager or no session.
#include "harness.h"
#include "toolbar.h"

#include "player/aimp/report.h"
#include "player/sessions/job.h"
#include "player/winamp/report.h"

#include <numeric>

namespace {

constexpr std::int64_t second = sim::ticksPerSecond;

const std::string allOnWithKeyword = allOn + "autoanswer-key=np\r\n";

TEST(SessionNames, TheProgramIsWhatAPersonReadsAndAPositionStaysWithinTheTimeline) {
  EXPECT_EQ(programName(L"Spotify.exe"), L"Spotify");
  EXPECT_EQ(programName(L"C:\\Program Files\\foobar2000\\foobar2000.EXE"), L"foobar2000");
  EXPECT_EQ(programName(L"SpotifyAB.SpotifyMusic_zpdnekdrzrea0!Spotify"), L"Spotify");
  EXPECT_EQ(programName(L"Chrome"), L"Chrome");
  EXPECT_EQ(programName(L".exe"), L".exe");
  EXPECT_EQ(programName(L""), L"Player");
  EXPECT_EQ(programName(L"C:\\Players\\"), L"Player");
  EXPECT_EQ(skippedTicks(83 * second, 0, 215 * second, 5 * second), 88 * second);
  EXPECT_EQ(skippedTicks(3 * second, 0, 215 * second, -5 * second), 0);
  EXPECT_EQ(skippedTicks(213 * second, 0, 215 * second, 5 * second), 215 * second);
  // A live stream's timeline has no end: nothing bounds the position above.
  EXPECT_EQ(skippedTicks(83 * second, 0, 0, 5 * second), 88 * second);
}

TEST(SessionNames, PlayerNamesWinampAndAimpToo) {
  EXPECT_EQ(composeNowPlaying("Some Song - Winamp", 1, {}, "%player%: %track%"),
            "Winamp: Some Song");
  EXPECT_EQ(fillNowPlaying("Some Song", aimpInfo(AimpTrack{}), "%player%: %track%"),
            "AIMP: Some Song");
}

class Sessions : public PluginTest {
protected:
  void SetUp() override {
    PluginTest::SetUp();
    sim::installSessionManager();
    sim::installCoreAudio();
    sim::sessions().current = sim::MediaSession{};
  }
  // Every visit is over: strings, objects, combase and the thread all given back, and the
  // sessions used only on the worker, in COM.
  void TearDown() override {
    EXPECT_EQ(sim::liveStrings(), 0);
    EXPECT_EQ(sim::liveSessionObjects(), 0);
    EXPECT_EQ(sim::loadedLibraries(), 0);
    EXPECT_EQ(sim::openThreads(), 0);
    EXPECT_EQ(sim::sessions().misuses, std::vector<std::string>{});
    EXPECT_EQ(sim::coreAudio().misuses, std::vector<std::string>{});
    PluginTest::TearDown();
  }
  static void finalise() { deliver(model::finaliseEvent()); }
  static bool called(std::string_view call) {
    const auto &calls = sim::sessions().calls;
    return std::find(calls.begin(), calls.end(), call) != calls.end();
  }
  static std::uint64_t slept() {
    const auto &s = sim::sleeps();
    return std::accumulate(s.begin(), s.end(), std::uint64_t{0});
  }
  static std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const HostRequest &r : messenger().requests)
      if (r.kind == "sendMessage") out.push_back(r.text);
    return out;
  }
};

TEST_P(Sessions, PlayPausePreviousAndNextReachTheSessionAndTheLookFollowsItsStatus) {
  initialiseWith(allOnWithKeyword + "player=smtc\r\n");
  press(Play);
  EXPECT_TRUE(called("TryTogglePlayPauseAsync"));
  EXPECT_EQ(sim::sessions().current->status, sim::sessionPaused);
  ASSERT_EQ(messenger().requests.back().kind, "updateButton");
  EXPECT_EQ(messenger().requests.back().idOrContact, playButtonId);
  EXPECT_EQ(messenger().requests.back().iconId, 2);
  EXPECT_EQ(messenger().requests.back().text, playHint);
  press(Play);
  EXPECT_EQ(sim::sessions().current->status, sim::sessionPlaying);
  EXPECT_EQ(messenger().requests.back().iconId, 3);
  EXPECT_EQ(messenger().requests.back().text, pauseHint);
  press(Prev);
  press(Next);
  EXPECT_TRUE(called("TrySkipPreviousAsync"));
  EXPECT_TRUE(called("TrySkipNextAsync"));
  EXPECT_EQ(sim::shellCalls().size(), 0u);
  finalise();
}

TEST_P(Sessions, TheSkipsMoveTheTimelinesPositionWithinItWhereTheControlsAllowIt) {
  initialiseWith(allOnWithKeyword + "player=smtc\r\n");
  press(Fwd);
  sim::sessions().current->position = 3 * second;
  press(Rew);
  EXPECT_EQ(sim::sessions().positionsAsked, (std::vector<std::int64_t>{88 * second, 0}));
  sim::sessions().current->positionEnabled = false;
  press(Fwd);
  EXPECT_EQ(sim::sessions().positionsAsked.size(), 2u);
  // Open files has no dialog of a session's player to open.
  std::size_t before = messenger().requests.size();
  press(Open);
  EXPECT_EQ(messenger().requests.size(), before);
  EXPECT_EQ(sim::shellCalls().size(), 0u);
}

TEST_P(Sessions, QuieterAndLouderStepTheDefaultDevicesMasterVolume) {
  initialiseWith(allOnWithKeyword + "player=smtc\r\n");
  press(VUp);
  sim::coreAudio().masterLevel = 0.96f;
  press(VUp);
  sim::coreAudio().masterLevel = 0.04f;
  press(VDn);
  EXPECT_EQ(sim::coreAudio().masterLevelsSet, (std::vector<float>{0.6f, 1.0f, 0.0f}));
  EXPECT_EQ(sim::unbalancedComInitialisations(), 0);
  EXPECT_TRUE(sim::sentMessages().empty());
}

TEST_P(Sessions, TheKeywordsLineIsTheProgramAndArtistDashTitleInTheAnsiCodePage) {
  initialiseWith(allOnWithKeyword);
  deliver(messageEvent(555, "np"));
  sim::sessions().current->artist = L"";
  sim::sessions().current->title = L"\u041f\u0435\u0441\u043d\u044f"; // "Песня"
  sim::sessions().current->appId = L"Microsoft.ZuneMusic_8wekyb3d8bbwe!Microsoft.ZuneMusic";
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(lines(), (std::vector<std::string>{">Spotify: Some Artist - Some Song",
                                               ">Microsoft.ZuneMusic: \xCF\xE5\xF1\xED\xFF"}));
  EXPECT_EQ(messenger().requests.back().idOrContact, 555);
}

TEST_P(Sessions, AFormatShowsTheTimelineAndNothingForWhatASessionDoesNotTell) {
  initialiseWith(
      allOnWithKeyword +
      "nowplaying-format=%player%: %title% [%pos%/%len%] (%khz%|%kbps%|%channels%|%number%)\r\n");
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(lines(),
            (std::vector<std::string>{"Spotify: Some Artist - Some Song [1:23/3:35] (|||)"}));
}

TEST_P(Sessions, ALateOperationIsWaitedForOnTheWorkerAndOneThatFailsChangesNothing) {
  initialiseWith(allOnWithKeyword + "player=smtc\r\n");
  sim::sessions().ending = sim::AsyncEnd::late;
  press(Play);
  EXPECT_EQ(messenger().requests.back().iconId, 2);
  EXPECT_GE(slept(), 200u * 2);
  EXPECT_LT(slept(), 5000u);
  sim::sessions().ending = sim::AsyncEnd::fails;
  std::size_t before = messenger().requests.size();
  press(Next);
  press(Send);
  EXPECT_EQ(messenger().requests.size(), before);
  EXPECT_EQ(sim::shellCalls().size(), 0u);
}

TEST_P(Sessions, AnOperationThatNeverEndsIsCancelledAndThePressGivesUpWithinTheBound) {
  initialiseWith(allOnWithKeyword + "player=smtc\r\n");
  sim::sessions().ending = sim::AsyncEnd::never;
  press(Next);
  EXPECT_TRUE(called("Cancel"));
  EXPECT_GE(slept(), 5000u);
  EXPECT_LE(slept(), 5000u + 10u);
  // Nothing is started in the session's place, and the line does not go out.
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(lines(), std::vector<std::string>{});
  EXPECT_EQ(sim::shellCalls().size(), 0u);
  finalise();
}

TEST_P(Sessions, WithoutASessionOrTheManagerAPressStartsTheConfiguredPlayerAsBefore) {
  writeSettings(allOnWithKeyword);
  sim::sessions().current.reset();
  initialiseWith(allOnWithKeyword);
  // Winamp is looked for where it always was, and its box says it is not there.
  press(Next);
  ASSERT_EQ(sim::messageBoxes().size(), 1u);
  sim::sessions().registered = false;
  sim::sessions().current = sim::MediaSession{};
  press(Prev);
  EXPECT_EQ(sim::messageBoxes().size(), 2u);
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(lines(), std::vector<std::string>{});
  EXPECT_FALSE(called("GetCurrentSession") && called("TrySkipPreviousAsync"));
}

TEST_P(Sessions, WithWinampRunningTheAutomaticChoiceNeverAsksTheSessions) {
  sim::addWindow("Winamp v1.x", "12. Some Artist - Some Song - Winamp",
                 [](UINT, WPARAM, LPARAM) -> LRESULT { return 0; });
  initialiseWith(allOnWithKeyword);
  press(Next);
  press(Play);
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(sim::sessions().calls, std::vector<std::string_view>{});
}

ON_BOTH_BUILDS(Sessions);

} // namespace
