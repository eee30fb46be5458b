#pragma once
// The plug-in as the black-box tests drive it, in either of two builds: the native build linked
// into the tests, or the shipped 32-bit DLL executed under emulation. Both run against the same
// simulated Win32 and answer to the same fake messenger; addresses are the plug-in's own.
#include <cstdint>
#include <string>
#include <string_view>

// The messenger's side of the host callback: the framed request in, the framed answer out;
// null for a null answer. The answer must stay valid until the next request.
using AnswerRequest = const std::string *(*)(std::string_view framedRequest);

struct PluginUnderTest {
  const char *name;
  // A freshly loaded plug-in whose host callback is served by answerRequest.
  void (*load)(AnswerRequest answerRequest);
  // Unloads it and checks what the build can check then: the emulated DLL's heap.
  void (*unload)();
  // The address of the messenger's callback, as the initialise event carries it.
  std::uint32_t (*callbackAddress)();
  // pluginFun on a copy of the record that ends where the record ends, or on null; gives the
  // answer's address.
  std::uintptr_t (*pluginFun)(std::string_view record);
  std::uintptr_t (*pluginFunWithNull)();
  // The framed record at an address the plug-in gave.
  std::string (*framedAt)(std::uintptr_t address);
  // Calls a button handler by the address the plug-in registered.
  void (*press)(std::uint32_t handler);
  // The resource id behind an icon handle that the plug-in sent and has not destroyed yet.
  int (*iconIdOf)(std::uint32_t iconHandle);
};

const PluginUnderTest &nativePlugin();
const PluginUnderTest &emulatedPlugin();
// Loads the emulated DLL afresh at another base than its own.
void loadEmulatedAt(std::uint32_t base, AnswerRequest answerRequest);
