#pragma once
// The product DLL itself, run under emulation as the messenger runs it: loaded, bound to the
// simulated Win32, started with its TLS callbacks and DllMainCRTStartup, called through
// pluginFun and its button handlers, and unloaded again.
#include "tests/emulator/cpu.h"
#include "tests/emulator/heap.h"
#include "tests/emulator/pe.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace emu::dll {

// The shipped DLL: QUIB_DLL from the environment, else the win32 build of this tree.
std::string productPath();

// The messenger's side of the host callback: the framed request in, the framed answer out,
// nothing for a null answer.
using Messenger = std::function<std::optional<std::string>(std::string_view framedRequest)>;

// A fresh process with the DLL at base (0: its preferred base), its imports bound and
// DLL_PROCESS_ATTACH delivered. Throws a Fault for an import without a binding, naming it.
void load(const std::string &path, Messenger messenger, Addr base = 0);
// DLL_PROCESS_DETACH, unless an earlier fault left the DLL in no state to run. Gives the heap
// blocks still live afterwards.
std::vector<heap::Block> unload();
// A fault stopped the guest in the middle of a call: it runs no more code.
bool faulted();
const pe::Image &image();

// The address the messenger hands over as its callback.
Addr hostCallback();
// Places the record at the end of a page, with nothing mapped after it, and calls pluginFun
// with it; or calls pluginFun with null. Gives the answer's address.
Addr pluginFun(std::string_view record);
Addr pluginFunWithNull();
// Calls a button handler the way the messenger does.
void press(Addr handler);

} // namespace emu::dll
