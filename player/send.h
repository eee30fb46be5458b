#pragma once
// Messages to a player's window, bounded so that a hung player cannot hold the messenger, and
// what the user is told when the player refuses them.
#include "host/win32.h"

// A player that does not answer within this time is taken as gone (answer 0) so that the
// messenger, whose thread waits, never freezes with it.
inline constexpr UINT playerTimeoutMs = 5000;

// What came of one message to the player.
struct PlayerReply {
  LRESULT value = 0;     // the answer; 0 without one
  bool answered = false; // false: the window is gone, hung or too slow, or refused the message
  bool refused = false;  // the player runs with higher rights and takes no messages of ours
};

// Sends one message to the player and gives its reply. Only the file dialog of a responsive
// player may take as long as the user likes.
PlayerReply sendToPlayer(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PlayerReply sendToPlayerUnbounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Since Vista a player that runs with higher rights than the messenger refuses every message
// of ours. A press then stops, and this box tells the user why.
void showRefusedBox();
// True when the reply was such a refusal, once the box has been shown.
bool refusedAndTold(const PlayerReply &reply);
