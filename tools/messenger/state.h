#pragma once
// The messenger's state that its parts share: the plug-in, the buttons it registered, the
// window, the open chat; and how the plug-in's records and addresses show in the transcript.
#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

using PluginFun = const void *(WINAPI *)(const void *event);

constexpr std::int32_t firstButtonId = 201;

struct Registration {
  std::int32_t id = 0;
  std::uint32_t handler = 0;
};

struct Plugin {
  HMODULE module = nullptr;
  std::uintptr_t base = 0;
  std::uintptr_t end = 0;
  PluginFun fun = nullptr;
};

struct Messenger {
  Plugin plugin;
  HWND window = nullptr;
  std::int32_t contact = 321;
  std::int32_t nextButtonId = firstButtonId;
  std::vector<Registration> buttons; // on the toolbar, in registration order
  std::string answer;                // the last framed answer to a request
  bool initialised = false;
  bool windowClosed = false;
};

extern Messenger messenger;

// A record's bytes and its bytes past what it announces, as transcript fields.
std::string raw(std::string_view bytes);
std::string trailing(std::size_t bytes);
std::string hexAddress(std::uintptr_t address);
bool insidePlugin(std::uintptr_t address);
