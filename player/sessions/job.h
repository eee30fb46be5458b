#pragma once
// A media session of Windows, visited on the worker thread for one press or report: the current
// one (the system's guess at what the user wants) when it plays, else the first that plays,
// else the current one.
#include "host/win32.h"

#include <cstdint>
#include <string>
#include <string_view>

enum class SessionAction {
  find,
  togglePlay,
  previousTrack,
  nextTrack,
  rewind5Seconds,
  forward5Seconds,
  report
};

// What the visit found; the texts in the ANSI code page.
struct SessionAnswers {
  std::int32_t status = -1; // the playback status before the action; below 0 unknown
  bool pressTaken = false;  // the session took the press
  // The report's
  std::string program;
  std::string artist;
  std::string title;
  std::int64_t positionTicks = -1; // below 0 unknown
  std::int64_t lengthTicks = -1;   // 0 or below unknown
};

enum class SessionEnd {
  done,
  none,  // no session manager, or no session to use
  gaveUp // the worker did not end within the bound, or still ran an earlier visit
};

// Does the action on the session to use and waits for it at most as long as for a hung player.
SessionEnd onSession(SessionAction action, SessionAnswers &answers);
