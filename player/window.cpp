#include "player/window.h"

HWND playerWindow = nullptr;
