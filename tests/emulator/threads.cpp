// The threads the DLL starts, on the emulator's one CPU: a thread's routine runs at the first
// wait for it, inside that wait, as a thread of its own for the simulated Win32 (its own COM
// apartment); the wait times out when the routine slept as long as the wait may last.
#include "tests/emulator/bindings.h"

#include "win32sim.h"

#include <map>

namespace emu {

namespace {

constexpr std::uint32_t firstThread = 0x00E00004;
constexpr std::uint32_t waitTimeout = 258;
constexpr std::uint32_t infinite = 0xFFFFFFFF;

struct GuestThread {
  Addr routine;
  std::uint32_t parameter;
  bool ended = false;
};

struct GuestThreads {
  std::map<std::uint32_t, GuestThread> threads;
  std::uint32_t next = firstThread;
};

GuestThreads &guestThreads() {
  static GuestThreads s;
  return s;
}

std::uint32_t createThread(const Call &c) {
  if (c.arg(0)) throw Fault("CreateThread was given security attributes");
  if (c.arg(4)) throw Fault("CreateThread was asked for a suspended thread");
  std::uint32_t handle = guestThreads().next;
  guestThreads().next += 4;
  guestThreads().threads[handle] = {c.arg(2), c.arg(3)};
  if (c.arg(5)) write32(c.arg(5), handle);
  return handle;
}

// The DLL's own module, held until FreeLibraryAndExitThread gives it back.
std::uint32_t getModuleHandleExW(const Call &c) {
  HMODULE module = nullptr;
  if (!c.arg(2) || !GetModuleHandleExW(c.arg(0), nullptr, &module)) return 0;
  if (c.arg(1) < moduleBase()) throw Fault("GetModuleHandleExW of an address outside the DLL");
  write32(c.arg(2), moduleBase());
  return 1;
}

std::uint32_t freeLibraryAndExitThread(const Call &c) {
  if (!sim::onOtherThread()) throw Fault("FreeLibraryAndExitThread on the messenger's thread");
  if (c.arg(0) != moduleBase()) throw Fault("FreeLibraryAndExitThread of another module");
  FreeLibrary(thisModule());
  throw GuestExit{};
}

} // namespace

bool isGuestThread(std::uint32_t handle) {
  return guestThreads().threads.count(handle) > 0;
}

std::uint32_t waitForGuestThread(std::uint32_t handle, std::uint32_t milliseconds) {
  GuestThread &thread = guestThreads().threads.at(handle);
  if (thread.ended) return 0;
  thread.ended = true;
  std::uint64_t slept = sim::runAsThread([&thread] {
    call(thread.routine, {thread.parameter}, Convention::stdcall, "the worker thread's routine");
  });
  return milliseconds != infinite && slept >= milliseconds ? waitTimeout : 0;
}

bool closeGuestThread(std::uint32_t handle) {
  return guestThreads().threads.erase(handle) > 0;
}

void resetThreadBindings() {
  guestThreads() = GuestThreads{};
}

const std::vector<Binding> &threadBindings() {
  static const std::vector<Binding> bindings{
      {"kernel32.dll", "CreateThread", Convention::stdcall, 6, createThread, 0},
      {"kernel32.dll", "GetModuleHandleExW", Convention::stdcall, 3, getModuleHandleExW, 0},
      {"kernel32.dll", "FreeLibraryAndExitThread", Convention::stdcall, 2, freeLibraryAndExitThread,
       0},
  };
  return bindings;
}

} // namespace emu
