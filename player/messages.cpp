#include "player/messages.h"

namespace {

// The messenger's thread waits for the player: with SMTO_NORMAL it still handles messages sent
// to it meanwhile, and SMTO_ABORTIFHUNG gives up at once on a player that is already hung.
PlayerReply sendWithin(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT timeoutMs) {
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                           timeoutMs, &answer))
    // Since Vista a window of a process with higher rights refuses the message outright.
    return {0, false, GetLastError() == ERROR_ACCESS_DENIED};
  return {static_cast<LRESULT>(answer), true, false};
}

} // namespace

PlayerReply sendToPlayer(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return sendWithin(window, message, wParam, lParam, playerTimeoutMs);
}

PlayerReply sendToPlayerUnbounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // Longest wait the call takes (about 49 days): the file dialog stays open as long as the
  // user likes.
  return sendWithin(window, message, wParam, lParam, 0xFFFFFFFF);
}
