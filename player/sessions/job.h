#pragma once
// The current media session of Windows, the one the system's volume flyout shows, visited on
// the worker thread for one press or report.
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
  std::int32_t status = -1; // the playback status after the action; below 0 unknown
  // The report's
  std::string program;
  std::string artist;
  std::string title;
  std::int64_t positionTicks = -1; // below 0 unknown
  std::int64_t lengthTicks = -1;   // 0 or below unknown
};

enum class SessionEnd {
  done,
  none,  // no session manager, or no current session
  gaveUp // the worker did not end within the bound, or still ran an earlier visit
};

// Does the action on the current session and waits for it at most as long as for a hung
// player.
SessionEnd onCurrentSession(SessionAction action, SessionAnswers &answers);

// The name a person reads from a session's app id: the part after a packaged app's "!" or a
// path's last "\", without ".exe" ("Spotify" for "Spotify.exe"); "Player" when nothing is left.
std::basic_string<WCHAR> programName(std::basic_string_view<WCHAR> appId);
// The position moved by the given ticks, kept within the timeline's start and its end (an end
// not after the start bounds nothing).
std::int64_t skippedTicks(std::int64_t position, std::int64_t start, std::int64_t end,
                          std::int64_t by);
