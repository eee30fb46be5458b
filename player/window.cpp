#include "player/window.h"

#include "player/messages.h"

HWND playerWindow = nullptr;

HWND findPlayerWindow() {
  return FindWindowA(playerWindowClass, nullptr);
}
