#pragma once
// AIMP's shared block, of any bytes and any size, through sendAimpNowPlaying: the player fuzz
// target's part for AIMP.
#include "fuzz/driver.h"

#include <cstdint>
#include <string_view>

// What the format shows of the times, as the target's own reading of it found.
struct TimesShown {
  bool position = false;
  bool length = false;
};

// AIMP as driver::addAimp makes it, its block shared with exactly the bytes given.
void checkAimpReport(std::string_view block, std::string_view format, TimesShown shown,
                     const driver::PlayerAnswers &answers, bool hung, bool refuses,
                     std::int32_t contact);
