#pragma once
// The one interface the buttons and the report use, whatever player runs: each player is a
// module of its own, and one routine chooses which of them a press or a report goes to.
#include "player/nowplaying.h"

#include <cstdint>
#include <string_view>

struct PlayerActions {
  void (*previousTrack)();
  void (*nextTrack)();
  void (*rewind5Seconds)();
  void (*forward5Seconds)();
  void (*togglePlay)();
  void (*openFiles)();
  void (*volumeDown)();
  void (*volumeUp)();
  ReportEnd (*sendNowPlaying)(std::int32_t contact);
};

enum class PlayerChoice { automatic, winamp, aimp, sessions };

// The value of the settings key "player": "winamp", "aimp" or "smtc" (Windows' media sessions);
// anything else, empty included, lets the first player that runs be used.
PlayerChoice playerChoice(std::string_view value);
// The player the settings name; else the first one running: Winamp's window (unless AIMP shows
// it as its imitation), then AIMP's; else a media session (the one that plays, else the current
// one), and without one Winamp, which a press starts as it always did.
const PlayerActions &chosenPlayer();
// Asks the players' work to stop, waiting no longer than for a hung player: the media
// sessions' worker, which may be inside a call that blocks, leaves on its own after that.
void stopPlayerWork();
