#pragma once
// Where a session's track is now. A player stamps its position only now and then (at a seek, a
// pause, a new track): while it plays, the position has moved on since the stamp. The values
// come from another program, so the arithmetic saturates rather than wraps. Touches no Win32.
#include <cstdint>

// In 100 ns units; the stamp and now count from 1601, as a FILETIME does.
struct SessionTimeline {
  std::int64_t start = 0, end = 0, minSeek = 0, maxSeek = 0, position = -1, stamp = 0;
};

// While playing: the position carried on from its stamp to now at the rate, kept within the
// start and the end (an end not after the start bounds nothing above). Paused, without a stamp
// (0 or before the year 2000), or with a stamp later than now: the position as stamped. A rate
// that is not a finite number counts as 1.
std::int64_t livePosition(const SessionTimeline &t, bool playing, std::int64_t now, double rate);
// The position the given ticks away from the one given, kept within the timeline and within
// the range the player accepts now, where it gives one (maxSeek after minSeek).
std::int64_t skippedTicks(const SessionTimeline &t, std::int64_t from, std::int64_t by);
// a + b and a - b, held at the ends of the range instead of wrapping.
std::int64_t saturatedSum(std::int64_t a, std::int64_t b);
std::int64_t saturatedDifference(std::int64_t a, std::int64_t b);
