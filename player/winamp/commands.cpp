#include "player/winamp/commands.h"

#include "player/playbutton.h"
#include "player/send.h"
#include "player/winamp/launch.h"
#include "player/winamp/messages.h"
#include "player/winamp/window.h"
#include "player/window.h"

namespace {

void command(HWND (*lookup)(), WPARAM number) {
  playerWindow = lookup();
  refusedAndTold(sendToPlayer(playerWindow, WM_COMMAND, number, 0));
}

} // namespace

void previousTrack() {
  command(acquirePlayerWindow, commandPrevious);
}
void nextTrack() {
  command(acquirePlayerWindow, commandNext);
}
void rewind5Seconds() {
  command(findPlayerWindow, commandRewind5);
}
void forward5Seconds() {
  command(findPlayerWindow, commandForward5);
}

void togglePlay() {
  playerWindow = acquirePlayerWindow();
  // No player could be found or started, and the user has been told: the button keeps its look.
  if (!playerWindow) return;
  PlayerReply state = sendToPlayer(playerWindow, WM_USER, 0, requestState);
  // A refusing player changed nothing: the button keeps its look.
  if (refusedAndTold(state)) return;
  switch (state.value) {
  case statePlaying:
    if (!refusedAndTold(sendToPlayer(playerWindow, WM_COMMAND, commandPauseResume, 0)))
      showPlayLook();
    break;
  case statePaused:
    if (!refusedAndTold(sendToPlayer(playerWindow, WM_COMMAND, commandPauseResume, 0)))
      showPauseLook();
    break;
  default:
    if (!refusedAndTold(sendToPlayer(playerWindow, WM_USER, 0, requestStart))) showPauseLook();
    break;
  }
}

void openFiles() {
  playerWindow = acquirePlayerWindow();
  if (!playerWindow) return;
  // The dialog is the user's: its message comes back when they close it.
  if (refusedAndTold(sendToPlayerUnbounded(playerWindow, WM_COMMAND, commandOpenFiles, 0))) return;
  showPauseLook();
}
