#include "player/window.h"

#include "player/winamp/messages.h"

HWND playerWindow = nullptr;

HWND findPlayerWindow() {
  return FindWindowA(playerWindowClass, nullptr);
}
