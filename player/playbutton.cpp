#include "player/playbutton.h"

#include "host/buttonids.h"
#include "host/requests.h"

#include <string_view>

namespace {

// "Playback"
constexpr std::string_view playHint =
    "\xC2\xEE\xF1\xEF\xF0\xEE\xE8\xE7\xE2\xE5\xE4\xE5\xED\xE8\xE5";
// "Pause"
constexpr std::string_view pauseHint = "\xCF\xE0\xF3\xE7\xE0";
constexpr int playIcon = 2;
constexpr int pauseIcon = 3;

} // namespace

void showPlayLook() {
  updateButton(playIcon, buttonIds[PlayRow], playHint);
}
void showPauseLook() {
  updateButton(pauseIcon, buttonIds[PlayRow], pauseHint);
}
