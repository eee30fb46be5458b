#include "player/send.h"

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

namespace {

// "Winamp runs as administrator"
constexpr const char *refusedText =
    "Winamp runs as administrator\r\n\r\nWinamp \xE7\xE0\xEF\xF3\xF9\xE5\xED \xEE\xF2 "
    "\xE8\xEC\xE5\xED\xE8 \xE0\xE4\xEC\xE8\xED\xE8\xF1\xF2\xF0\xE0\xF2\xEE\xF0\xE0";

} // namespace

void showRefusedBox() {
  // Like the box that tells that no player was found.
  MessageBoxA(nullptr, refusedText, "", MB_OK | MB_ICONHAND | MB_TASKMODAL);
}

bool refusedAndTold(const PlayerReply &reply) {
  if (reply.refused) showRefusedBox();
  return reply.refused;
}
