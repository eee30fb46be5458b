#pragma once
// The functions a DLL may import, served on the host: the Win32 functions over the simulated
// Win32 of the native tests, and the C runtime and the thread and module functions it needs.
#include "tests/emulator/cpu.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emu {

struct Binding {
  const char *dll; // lower case
  const char *name;
  Convention convention;
  int argumentCount;
  HostRoutine routine;    // null for a variable
  std::uint32_t dataSize; // a variable: the bytes its slot points to, zero-filled
};

// The module the bindings serve: its base and the icon ids its resources hold.
void setModule(Addr base, const std::vector<int> &iconIds);
// Forget every handle, thread slot and semaphore of an earlier run.
void resetWin32Bindings();
void resetRuntimeBindings();

// Closes a thread or synchronisation handle that the runtime bindings handed out; false for
// any other handle.
bool closeRuntimeHandle(std::uint32_t handle);

// The host handle behind a handle the guest was given.
std::uintptr_t hostHandleOf(std::uint32_t guestHandle);

// A zero-filled block for an imported variable.
Addr allocateData(std::uint32_t size);

// The mixer records as the DLL passed them, in their 32-bit form, one entry per call.
struct MixerCall {
  std::string function;
  std::string record;  // the structure the second argument points to, cbStruct bytes
  std::string pointed; // mixerGetLineControlsA: the MIXERCONTROLA; mixerSetControlDetails:
                       // the details
};
std::vector<MixerCall> &mixerCalls();

// The threads the DLL starts: each routine runs at the first wait for its thread.
bool isGuestThread(std::uint32_t handle);
std::uint32_t waitForGuestThread(std::uint32_t handle, std::uint32_t milliseconds);
bool closeGuestThread(std::uint32_t handle);
void resetThreadBindings();
const std::vector<Binding> &threadBindings();

// combase's functions, which GetProcAddress hands out (the DLL imports none of them), and the
// media sessions' objects: made afresh after start().
void resetCombaseBindings();
const std::vector<Binding> &combaseBindings();

// A COM method served on the host, stdcall with the object as its first argument.
struct ComMethod {
  const char *name;
  int argumentCount; // the object included
  HostRoutine routine;
};
// Writes the interface's vtable at the address: one host routine per method, in vtable order,
// named "Interface::Method" in fault reports.
void writeVtable(Addr vtable, const std::string &interface, const std::vector<ComMethod> &methods);

// ole32 and the Core Audio objects: the vtables of the guest objects, made afresh after start().
void resetComBindings();
const std::vector<Binding> &comBindings();

// The Win32 bindings and the runtime bindings, each in its own source file.
const std::vector<Binding> &win32Bindings();
const std::vector<Binding> &runtimeBindings();
Addr moduleBase();

} // namespace emu
