// Any player through Windows' media sessions: the buttons and the line with the current
// session, the bound on a press whose operation does not end, and everything as before where
// there is no session manager or no session.
#include "harness.h"
#include "toolbar.h"

#include "player/aimp/report.h"
#include "player/sessions/name.h"
#include "player/sessions/position.h"
#include "player/winamp/report.h"

#include <cmath>
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
  // Never a packaged app's "App", nor a hash of Firefox's folder.
  EXPECT_EQ(programName(L"AppleInc.AppleMusicWin_nzyj5cx40ttqa!App"), L"AppleInc.AppleMusicWin");
  EXPECT_EQ(programName(L"308046B0AF4A39CB"), L"Player");
  EXPECT_EQ(programName(L"308046B0AF4A39CG"), L"308046B0AF4A39CG");
  const SessionTimeline t{0, 215 * second, 0, 0, 83 * second, 0};
  EXPECT_EQ(skippedTicks(t, 83 * second, 5 * second), 88 * second);
  EXPECT_EQ(skippedTicks(t, 3 * second, -5 * second), 0);
  EXPECT_EQ(skippedTicks(t, 213 * second, 5 * second), 215 * second);
  // Within the range the player accepts now, where it gives one.
  EXPECT_EQ(skippedTicks({0, 215 * second, 10 * second, 60 * second}, 83 * second, 5 * second),
            60 * second);
  // A live stream's timeline has no end: nothing bounds the position above.
  EXPECT_EQ(skippedTicks({}, 83 * second, 5 * second), 88 * second);
  constexpr std::int64_t max = INT64_MAX;
  EXPECT_EQ(skippedTicks({}, max - 1, 5 * second), max);
  EXPECT_EQ(skippedTicks({INT64_MIN, 0}, INT64_MIN + 1, -5 * second), INT64_MIN);
}

TEST(SessionNames, ThePositionMovesOnFromItsStampOnlyWhilePlaying) {
  constexpr std::int64_t now = 134'405'568'000'000'000, stamp = now - 60 * second;
  const SessionTimeline t{0, 215 * second, 0, 0, 83 * second, stamp};
  EXPECT_EQ(livePosition(t, true, now, 1.0), 143 * second);
  EXPECT_EQ(livePosition(t, true, now, 2.0), 203 * second);
  EXPECT_EQ(livePosition(t, true, now, 1e300), 215 * second);
  EXPECT_EQ(livePosition(t, true, now, -1e300), 0);
  EXPECT_EQ(livePosition(t, true, now, std::nan("")), 143 * second);
  EXPECT_EQ(livePosition(t, false, now, 1.0), 83 * second);
  for (std::int64_t unset : {std::int64_t{0}, 125'911'583'999'999'999, now + 1})
    EXPECT_EQ(livePosition({0, 215 * second, 0, 0, 83 * second, unset}, true, now, 1.0),
              83 * second);
  EXPECT_EQ(livePosition({0, 0, 0, 0, INT64_MAX - 1, stamp}, true, now, 1.0), INT64_MAX);
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
  // Stamped a minute ago at 1:23: it has played on to 2:23 while playing, not while paused.
  for (std::int32_t status : {sim::sessionPlaying, sim::sessionPaused}) {
    sim::sessions().current->position = 83 * second;
    sim::sessions().current->stampAge = 60 * second;
    sim::sessions().current->status = status;
    press(Fwd);
  }
  EXPECT_EQ(sim::sessions().positionsAsked,
            (std::vector<std::int64_t>{88 * second, 0, 148 * second, 88 * second}));
  sim::sessions().current->positionEnabled = false;
  press(Fwd);
  EXPECT_EQ(sim::sessions().positionsAsked.size(), 4u);
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
  sim::sessions().appNames[sim::sessions().current->appId] = L"Media Player";
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(lines(), (std::vector<std::string>{">Spotify: Some Artist - Some Song",
                                               ">Media Player: \xCF\xE5\xF1\xED\xFF"}));
  EXPECT_EQ(messenger().requests.back().idOrContact, 555);
}

TEST_P(Sessions, AFormatShowsTheTimelineAndNothingForWhatASessionDoesNotTell) {
  initialiseWith(
      allOnWithKeyword +
      "nowplaying-format=%player%: %title% [%pos%/%len%] (%khz%|%kbps%|%channels%|%number%)\r\n");
  deliver(messageEvent(555, "np"));
  sim::sessions().current->stampAge = 60 * second;
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(lines(),
            (std::vector<std::string>{"Spotify: Some Artist - Some Song [1:23/3:35] (|||)",
                                      "Spotify: Some Artist - Some Song [2:23/3:35] (|||)"}));
}

TEST_P(Sessions, AContactGetsOnlyWhatPlaysAndAPlayingSessionGoesBeforeAPausedCurrentOne) {
  initialiseWith(allOnWithKeyword);
  sim::sessions().current->status = sim::sessionPaused;
  EXPECT_EQ(hex(deliver(messageEvent(555, "np"))), hex(bytes({1, 0, 0, 0, 0x04})));
  press(Send);
  sim::MediaSession playing;
  playing.appId = L"C:\\Firefox\\firefox.exe";
  playing.title = L"Other Song";
  sim::sessions().others = {playing};
  deliver(messageEvent(555, "np"));
  press(Play);
  EXPECT_EQ(lines(), (std::vector<std::string>{">Spotify: Some Artist - Some Song",
                                               ">firefox: Some Artist - Other Song"}));
  EXPECT_EQ(sim::sessions().others[0].status, sim::sessionPaused);
  EXPECT_EQ(sim::sessions().current->status, sim::sessionPaused);
  // A visit that could not run tells nothing, not the last visit's line.
  sim::coreAudio().initialiseFails = E_FAIL;
  deliver(messageEvent(555, "np"));
  EXPECT_EQ(lines().size(), 2u);
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
  press(Play);
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
