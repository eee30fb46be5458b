#pragma once
// What Winamp understands, and every player that imitates it: its window class, its commands
// and its requests.
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
