#include "player/winamp/window.h"

#include "player/winamp/messages.h"

HWND findPlayerWindow() {
  return FindWindowA(playerWindowClass, nullptr);
}
