#pragma once
// What the player understands: its window class, its commands and its requests.
#include "host/win32.h"

#include <cstdint>

inline constexpr const char *playerWindowClass = "Winamp v1.x";

// WM_COMMAND numbers, in wParam.
enum PlayerCommand : WPARAM {
  commandOpenFiles = 40029,
  commandPrevious = 40044,
  commandPauseResume = 40046,
  commandNext = 40048,
  commandForward5 = 40060,
  commandRewind5 = 40061,
};

// WM_USER request numbers, in lParam.
enum PlayerRequest : LPARAM {
  requestStart = 102,
  requestState = 104,
  requestTrackTime = 105, // wParam: one of the TrackTime values
  requestSetVolume = 122, // wParam: the volume, 0 to 255
  requestTrackInfo = 126, // wParam: one of the TrackInfo values
  // The current playlist entry, counted from 0, and the address of an entry's title (wParam:
  // its index) in the player's own memory.
  requestPlaylistIndex = 125,
  requestPlaylistTitle = 212,
};

enum TrackInfo : WPARAM { infoSampleRate = 0, infoBitRate = 1, infoChannels = 2 };

// The position answers in milliseconds, the length in seconds; either is below 0 when the
// player does not know it.
enum TrackTime : WPARAM { timePosition = 0, timeLength = 1 };

// The answers to requestState.
enum PlayerState : LRESULT { stateStopped = 0, statePlaying = 1, statePaused = 3 };

// A player that does not answer within this time is taken as gone (answer 0) so that the
// messenger, whose thread waits, never freezes with it.
inline constexpr UINT playerTimeoutMs = 5000;

// What came of one message to the player.
struct PlayerReply {
  LRESULT value = 0;     // the answer; 0 without one
  bool answered = false; // false: the window is gone, hung or too slow, or refused the message
  bool refused = false;  // the player runs with higher rights and takes no messages of ours
};

// Sends one message to the player and gives its reply. Only the file dialog of a responsive
// player may take as long as the user likes.
PlayerReply sendToPlayer(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PlayerReply sendToPlayerUnbounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Since Vista a player that runs with higher rights than the messenger refuses every message
// of ours. A press then stops, and this box tells the user why.
void showRefusedBox();
// True when the reply was such a refusal, once the box has been shown.
bool refusedAndTold(const PlayerReply &reply);
