// What the DLL's C and C++ runtime imports: msvcrt's heap, memory and string functions, its
// start-up helpers, and the kernel32 functions for threads, modules and memory, for the one
// thread the messenger calls on.
#include "tests/emulator/bindings.h"

#include "tests/emulator/heap.h"
#include "tests/emulator/win32.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstring>
#include <map>

namespace emu {

namespace {

constexpr Addr errnoAddress = dataArea;
constexpr std::uint32_t threadId = 0x1004;
constexpr std::uint32_t errorModNotFound = 126;
constexpr std::uint32_t firstHandle = 0x00D00004;
constexpr std::uint32_t memCommit = 0x1000, memImage = 0x1000000;
constexpr std::uint32_t success = 1, failure = 0;

struct State {
  std::vector<std::uint32_t> tlsSlots;
  std::vector<bool> tlsUsed;
  std::map<std::uint32_t, std::uint32_t> semaphores; // handle -> count
  std::uint32_t nextHandle = firstHandle;
  Addr nextData = errnoAddress + 16;
};

State &state() {
  static State s;
  return s;
}

void setLastError(std::uint32_t error) {
  write32(lastErrorAddress, error);
}

[[noreturn]] void refuse(const std::string &what) {
  throw Fault(what);
}

// --- msvcrt

std::uint32_t malloc_(const Call &c) {
  heap::countCall();
  return heap::allocate(c.arg(0), c.returnAddress());
}

std::uint32_t calloc_(const Call &c) {
  heap::countCall();
  std::uint64_t size = std::uint64_t{c.arg(0)} * c.arg(1);
  if (size > 0xFFFFFFFF) return 0;
  Addr block = heap::allocate(static_cast<std::uint32_t>(size), c.returnAddress());
  if (block) write(block, std::string(static_cast<std::size_t>(size), '\0'));
  return block;
}

std::uint32_t realloc_(const Call &c) {
  heap::countCall();
  return heap::reallocate(c.arg(0), c.arg(1), c.returnAddress());
}

std::uint32_t free_(const Call &c) {
  heap::countCall();
  heap::release(c.arg(0));
  return 0;
}

std::uint32_t memcpy_(const Call &c) {
  write(c.arg(0), read(c.arg(1), c.arg(2)));
  return c.arg(0);
}

std::uint32_t memset_(const Call &c) {
  write(c.arg(0), std::string(c.arg(2), static_cast<char>(c.arg(1))));
  return c.arg(0);
}

std::uint32_t memcmp_(const Call &c) {
  std::string a = read(c.arg(0), c.arg(2)), b = read(c.arg(1), c.arg(2));
  int r = std::memcmp(a.data(), b.data(), a.size());
  return static_cast<std::uint32_t>(r < 0 ? -1 : r > 0);
}

// Reads page by page and stops at the first match, as memchr may.
std::uint32_t memchr_(const Call &c) {
  Addr p = c.arg(0), n = c.arg(2);
  while (n) {
    Addr chunk = std::min(n, pageSize - p % pageSize);
    std::string part = read(p, chunk);
    std::size_t at = part.find(static_cast<char>(c.arg(1)));
    if (at != std::string::npos) return p + static_cast<Addr>(at);
    p += chunk;
    n -= chunk;
  }
  return 0;
}

std::uint32_t strlen_(const Call &c) {
  return static_cast<std::uint32_t>(readCString(c.arg(0)).size());
}

std::uint32_t wcslen_(const Call &c) {
  return static_cast<std::uint32_t>(win32::readWideCString(c.arg(0)).size());
}

int sign(int r) {
  return r < 0 ? -1 : r > 0;
}

std::uint32_t strcmp_(const Call &c) {
  return static_cast<std::uint32_t>(
      sign(std::strcmp(readCString(c.arg(0)).c_str(), readCString(c.arg(1)).c_str())));
}

std::uint32_t strncmp_(const Call &c) {
  std::string a = readCString(c.arg(0)), b = readCString(c.arg(1));
  return static_cast<std::uint32_t>(sign(std::strncmp(a.c_str(), b.c_str(), c.arg(2))));
}

std::uint32_t initterm(const Call &c) {
  for (Addr p = c.arg(0); p < c.arg(1); p += 4)
    if (Addr fn = read32(p))
      call(fn, {}, Convention::cdecl, "the initialiser at " + std::to_string(fn));
  return 0;
}

std::uint32_t errno_(const Call &) {
  return errnoAddress;
}

std::uint32_t nothing(const Call &) {
  return 0;
}

std::uint32_t abort_(const Call &) {
  refuse("the DLL called abort");
}

std::uint32_t amsgExit(const Call &c) {
  refuse("the DLL's runtime gave up with message " + std::to_string(c.arg(0)));
}

std::uint32_t fwrite_(const Call &c) {
  refuse("the DLL wrote to a stream: " + read(c.arg(0), c.arg(1) * c.arg(2)));
}

std::uint32_t vfprintf_(const Call &c) {
  refuse("the DLL printed to a stream: " + readCString(c.arg(1)));
}

std::uint32_t fileDescriptor(const Call &) {
  refuse("the DLL used a C file descriptor");
}

// --- kernel32: threads, synchronisation, modules, memory

std::uint32_t getCurrentThreadId(const Call &) {
  return threadId;
}

std::uint32_t getLastError(const Call &) {
  return read32(lastErrorAddress);
}

std::uint32_t setLastError_(const Call &c) {
  setLastError(c.arg(0));
  return 0;
}

std::uint32_t tlsAlloc(const Call &) {
  State &s = state();
  auto freeSlot = std::find(s.tlsUsed.begin(), s.tlsUsed.end(), false);
  auto index = static_cast<std::uint32_t>(freeSlot - s.tlsUsed.begin());
  if (freeSlot == s.tlsUsed.end()) {
    s.tlsUsed.push_back(true);
    s.tlsSlots.push_back(0);
  } else {
    *freeSlot = true;
    s.tlsSlots[index] = 0;
  }
  return index;
}

bool tlsIndexValid(std::uint32_t index) {
  return index < state().tlsUsed.size() && state().tlsUsed[index];
}

std::uint32_t tlsFree(const Call &c) {
  if (!tlsIndexValid(c.arg(0))) return failure;
  state().tlsUsed[c.arg(0)] = false;
  return success;
}

std::uint32_t tlsGetValue(const Call &c) {
  if (!tlsIndexValid(c.arg(0))) refuse("TlsGetValue of a slot that was never allocated");
  setLastError(0);
  return state().tlsSlots[c.arg(0)];
}

std::uint32_t tlsSetValue(const Call &c) {
  if (!tlsIndexValid(c.arg(0))) return failure;
  state().tlsSlots[c.arg(0)] = c.arg(1);
  return success;
}

std::uint32_t createSemaphoreW(const Call &c) {
  std::uint32_t handle = state().nextHandle;
  state().nextHandle += 4;
  state().semaphores[handle] = c.arg(1);
  return handle;
}

std::uint32_t releaseSemaphore(const Call &c) {
  auto s = state().semaphores.find(c.arg(0));
  if (s == state().semaphores.end()) return failure;
  if (c.arg(2)) write32(c.arg(2), s->second);
  s->second += c.arg(1);
  return success;
}

// One thread: a wait on a semaphore that nobody has released would never end.
std::uint32_t waitForSingleObject(const Call &c) {
  if (isGuestThread(c.arg(0))) return waitForGuestThread(c.arg(0), c.arg(1));
  auto s = state().semaphores.find(c.arg(0));
  if (s == state().semaphores.end()) refuse("a wait on a handle that is no semaphore");
  if (s->second == 0) refuse("a wait on a semaphore that this one thread would never see released");
  --s->second;
  return 0;
}

// Module names: the DLL itself, by its name or by null; no other DLL is there to be found.
// GetModuleHandleA and GetProcAddress, which the plug-in calls itself, are the simulated
// Win32's (kernel32.cpp).
Addr moduleNamed(const std::string &name) {
  std::string lower = name;
  for (char &ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  if (lower == "quib_ctl.dll" || lower == "quib_ctl") return moduleBase();
  setLastError(errorModNotFound);
  return 0;
}

std::string wideText(Addr p) {
  std::string text;
  for (;; p += 2) {
    std::string ch = read(p, 2);
    if (ch[0] == 0 && ch[1] == 0) return text;
    text.push_back(ch[1] ? '?' : ch[0]);
  }
}

std::uint32_t getModuleHandleW(const Call &c) {
  return c.arg(0) ? moduleNamed(wideText(c.arg(0))) : moduleBase();
}

// combase, where the simulated Win32 has it.
std::uint32_t loadLibraryA(const Call &c) {
  std::string name = readCString(c.arg(0));
  if (HMODULE library = LoadLibraryA(name.c_str())) return win32::guestHandle(library);
  moduleNamed(name);
  return 0;
}

std::uint32_t loadLibraryW(const Call &c) {
  moduleNamed(wideText(c.arg(0)));
  return 0;
}

std::uint32_t freeLibrary(const Call &c) {
  if (win32::state().toHost.count(c.arg(0)))
    return FreeLibrary(win32::hostHandle<HMODULE>(c.arg(0))) ? success : failure;
  return success;
}

std::uint32_t pageProtection(std::uint32_t ucProtection) {
  bool r = ucProtection & UC_PROT_READ, w = ucProtection & UC_PROT_WRITE,
       x = ucProtection & UC_PROT_EXEC;
  if (x) return w ? 0x40 : r ? 0x20 : 0x10;
  return w ? 0x04 : r ? 0x02 : 0x01;
}

std::uint32_t ucProtection(std::uint32_t page) {
  switch (page & 0xFF) {
  case 0x02:
    return UC_PROT_READ;
  case 0x04:
  case 0x08:
    return UC_PROT_READ | UC_PROT_WRITE;
  case 0x10:
    return UC_PROT_EXEC;
  case 0x20:
    return UC_PROT_READ | UC_PROT_EXEC;
  case 0x40:
  case 0x80:
    return UC_PROT_ALL;
  default:
    return UC_PROT_NONE;
  }
}

std::uint32_t virtualQuery(const Call &c) {
  MappedRegion r = regionAt(c.arg(0));
  if (!r.size || c.arg(2) < 28) return 0;
  Addr page = c.arg(0) / pageSize * pageSize;
  const std::uint32_t info[] = {page,
                                r.begin,
                                pageProtection(r.protection),
                                r.begin + r.size - page,
                                memCommit,
                                pageProtection(r.protection),
                                memImage};
  for (std::size_t i = 0; i < 7; ++i) write32(c.arg(1) + 4 * static_cast<Addr>(i), info[i]);
  return 28;
}

std::uint32_t virtualProtect(const Call &c) {
  MappedRegion r = regionAt(c.arg(0));
  if (!r.size) return failure;
  Addr begin = c.arg(0) / pageSize * pageSize;
  Addr end = (c.arg(0) + c.arg(1) + pageSize - 1) / pageSize * pageSize;
  protect(begin, end - begin, ucProtection(c.arg(2)));
  write32(c.arg(3), pageProtection(r.protection));
  return success;
}

} // namespace

const std::vector<Binding> &runtimeBindings() {
  constexpr Convention w = Convention::stdcall, crt = Convention::cdecl;
  static const std::vector<Binding> bindings{
      {"msvcrt.dll", "malloc", crt, 1, malloc_, 0},
      {"msvcrt.dll", "calloc", crt, 2, calloc_, 0},
      {"msvcrt.dll", "realloc", crt, 2, realloc_, 0},
      {"msvcrt.dll", "free", crt, 1, free_, 0},
      {"msvcrt.dll", "memcpy", crt, 3, memcpy_, 0},
      {"msvcrt.dll", "memmove", crt, 3, memcpy_, 0}, // the copy reads all before it writes
      {"msvcrt.dll", "memset", crt, 3, memset_, 0},
      {"msvcrt.dll", "memcmp", crt, 3, memcmp_, 0},
      {"msvcrt.dll", "memchr", crt, 3, memchr_, 0},
      {"msvcrt.dll", "strlen", crt, 1, strlen_, 0},
      {"msvcrt.dll", "wcslen", crt, 1, wcslen_, 0},
      {"msvcrt.dll", "strcmp", crt, 2, strcmp_, 0},
      {"msvcrt.dll", "strncmp", crt, 3, strncmp_, 0},
      {"msvcrt.dll", "_initterm", crt, 2, initterm, 0},
      {"msvcrt.dll", "_errno", crt, 0, errno_, 0},
      {"msvcrt.dll", "_lock", crt, 1, nothing, 0},
      {"msvcrt.dll", "_unlock", crt, 1, nothing, 0},
      {"msvcrt.dll", "_iob", crt, 0, nullptr, 3 * 32},
      {"msvcrt.dll", "abort", crt, 0, abort_, 0},
      {"msvcrt.dll", "_amsg_exit", crt, 1, amsgExit, 0},
      {"msvcrt.dll", "fwrite", crt, 4, fwrite_, 0},
      {"msvcrt.dll", "vfprintf", crt, 3, vfprintf_, 0},
      {"msvcrt.dll", "_read", crt, 3, fileDescriptor, 0},
      {"msvcrt.dll", "_close", crt, 1, fileDescriptor, 0},
      {"kernel32.dll", "GetCurrentThreadId", w, 0, getCurrentThreadId, 0},
      {"kernel32.dll", "GetLastError", w, 0, getLastError, 0},
      {"kernel32.dll", "SetLastError", w, 1, setLastError_, 0},
      {"kernel32.dll", "TlsAlloc", w, 0, tlsAlloc, 0},
      {"kernel32.dll", "TlsFree", w, 1, tlsFree, 0},
      {"kernel32.dll", "TlsGetValue", w, 1, tlsGetValue, 0},
      {"kernel32.dll", "TlsSetValue", w, 2, tlsSetValue, 0},
      {"kernel32.dll", "InitializeCriticalSection", w, 1, nothing, 0},
      {"kernel32.dll", "EnterCriticalSection", w, 1, nothing, 0},
      {"kernel32.dll", "LeaveCriticalSection", w, 1, nothing, 0},
      {"kernel32.dll", "DeleteCriticalSection", w, 1, nothing, 0},
      {"kernel32.dll", "CreateSemaphoreW", w, 4, createSemaphoreW, 0},
      {"kernel32.dll", "ReleaseSemaphore", w, 3, releaseSemaphore, 0},
      {"kernel32.dll", "WaitForSingleObject", w, 2, waitForSingleObject, 0},
      {"kernel32.dll", "GetModuleHandleW", w, 1, getModuleHandleW, 0},
      {"kernel32.dll", "LoadLibraryA", w, 1, loadLibraryA, 0},
      {"kernel32.dll", "LoadLibraryW", w, 1, loadLibraryW, 0},
      {"kernel32.dll", "FreeLibrary", w, 1, freeLibrary, 0},
      {"kernel32.dll", "VirtualQuery", w, 3, virtualQuery, 0},
      {"kernel32.dll", "VirtualProtect", w, 4, virtualProtect, 0},
  };
  return bindings;
}

bool closeRuntimeHandle(std::uint32_t handle) {
  return state().semaphores.erase(handle) > 0 || closeGuestThread(handle);
}

Addr allocateData(std::uint32_t size) {
  Addr block = state().nextData;
  state().nextData += (size + 15) / 16 * 16;
  if (state().nextData > dataArea + pageSize) throw Fault("the data page is full");
  return block;
}

void resetRuntimeBindings() {
  state() = State{};
  map(dataArea, pageSize, UC_PROT_READ | UC_PROT_WRITE);
}

} // namespace emu
