#pragma once
// The plug-in's one export: the messenger delivers every event through it.
#include "host/win32.h"

#include <string_view>

extern "C" const void *WINAPI pluginFun(const void *event);

void stripChar(std::string_view &s, char ch);
