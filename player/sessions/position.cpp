#include "player/sessions/position.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
// 2000-01-01 as a FILETIME: a stamp before it was never set.
constexpr std::int64_t year2000 = 125'911'584'000'000'000;
// Within the ticks a double converts back without leaving the range.
constexpr double doubleLimit = 9.2e18;

std::int64_t withinTimeline(const SessionTimeline &t, std::int64_t ticks) {
  ticks = std::max(ticks, t.start);
  return t.end > t.start ? std::min(ticks, t.end) : ticks;
}

std::int64_t scaled(std::int64_t ticks, double rate) {
  double moved = static_cast<double>(ticks) * (std::isfinite(rate) ? rate : 1.0);
  return static_cast<std::int64_t>(std::clamp(moved, -doubleLimit, doubleLimit));
}

} // namespace

std::int64_t livePosition(const SessionTimeline &t, bool playing, std::int64_t now, double rate) {
  if (!playing || t.stamp < year2000 || t.stamp > now) return t.position;
  return withinTimeline(t, saturatedSum(t.position, scaled(now - t.stamp, rate)));
}

std::int64_t skippedTicks(const SessionTimeline &t, std::int64_t from, std::int64_t by) {
  std::int64_t target = withinTimeline(t, saturatedSum(from, by));
  return t.maxSeek > t.minSeek ? std::clamp(target, t.minSeek, t.maxSeek) : target;
}

std::int64_t saturatedSum(std::int64_t a, std::int64_t b) {
  if (b > 0 && a > highest - b) return highest;
  if (b < 0 && a < lowest - b) return lowest;
  return a + b;
}

std::int64_t saturatedDifference(std::int64_t a, std::int64_t b) {
  if (b == lowest) return a >= 0 ? highest : a - b;
  return saturatedSum(a, -b);
}
