#include "host/buttons.h"

#include "mixer/mute.h"
#include "player/player.h"
#include "player/send.h"

namespace {

// The messenger calls handlers on its own thread; nothing may escape back into it.
template <void (*press)()> void WINAPI handler() {
  try {
    press();
  } catch (...) {
  }
}

// A player button: the press goes to the player chosen at the moment of the press.
template <void (*PlayerActions::*action)()> void pressOnPlayer() {
  (chosenPlayer().*action)();
}

void sendToOpenChat() {
  if (chosenPlayer().sendNowPlaying(0) == ReportEnd::refused) showRefusedBox();
}

} // namespace

// Hints are Windows-1251; the English meaning stands beside each.
constexpr std::array<Button, ButtonRowCount> buttonTable{{
    // "Send the track data to the chat"
    {&Settings::buttonSend, 100,
     "\xCE\xF2\xEF\xF0\xE0\xE2\xE8\xF2\xFC \xE4\xE0\xED\xED\xFB\xE5 \xF2\xF0\xE5\xEA\xE0 \xE2 "
     "\xF7\xE0\xF2",
     &handler<sendToOpenChat>},
    // "Previous track"
    {&Settings::buttonPrev, 1, "\xCF\xF0\xE5\xE4\xFB\xE4\xF3\xF9\xE8\xE9 \xF2\xF0\xE5\xEA",
     &handler<pressOnPlayer<&PlayerActions::previousTrack>>},
    // "5 seconds back"
    {&Settings::buttonRew, 7, "5 \xF1\xE5\xEA\xF3\xED\xE4 \xED\xE0\xE7\xE0\xE4",
     &handler<pressOnPlayer<&PlayerActions::rewind5Seconds>>},
    // "Playback\Pause"
    {&Settings::buttonPlay, 2,
     "\xC2\xEE\xF1\xEF\xF0\xEE\xE8\xE7\xE2\xE5\xE4\xE5\xED\xE8\xE5\\\xCF\xE0\xF3\xE7\xE0",
     &handler<pressOnPlayer<&PlayerActions::togglePlay>>},
    // "5 seconds forward"
    {&Settings::buttonFwd, 8, "5 \xF1\xE5\xEA\xF3\xED\xE4 \xE2\xEF\xE5\xF0\xE5\xE4",
     &handler<pressOnPlayer<&PlayerActions::forward5Seconds>>},
    // "Next track"
    {&Settings::buttonNext, 5, "\xD1\xEB\xE5\xE4\xF3\xFE\xF9\xE8\xE9 \xF2\xF0\xE5\xEA",
     &handler<pressOnPlayer<&PlayerActions::nextTrack>>},
    // "Open files in Winamp"
    {&Settings::buttonOpen, 6, "\xCE\xF2\xEA\xF0\xFB\xF2\xFC \xF4\xE0\xE9\xEB\xFB \xE2 Winamp",
     &handler<pressOnPlayer<&PlayerActions::openFiles>>},
    // "Sound on\off"
    {&Settings::buttonMute, 11,
     "\xC2\xEA\xEB\xFE\xF7\xE8\xF2\xFC\\\xE2\xFB\xEA\xEB\xFE\xF7\xE8\xF2\xFC \xE7\xE2\xF3\xEA",
     &handler<toggleMute>},
    // "Quieter"
    {&Settings::buttonVDn, 12, "\xD2\xE8\xF8\xE5",
     &handler<pressOnPlayer<&PlayerActions::volumeDown>>},
    // "Louder"
    {&Settings::buttonVUp, 13, "\xC3\xF0\xEE\xEC\xF7\xE5",
     &handler<pressOnPlayer<&PlayerActions::volumeUp>>},
}};

void registerButtons() {
  for (std::size_t row = 0; row < ButtonRowCount; ++row) {
    const Button &b = buttonTable[row];
    if (settings.*b.enabled) buttonIds[row] = addButton(b.iconId, b.handler, b.hint);
  }
}

void removeButtons() {
  for (std::size_t row = ButtonRowCount; row-- > 0;)
    if (buttonIds[row] != 0) removeButton(buttonIds[row]);
}
