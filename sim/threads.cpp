// kernel32's threads, run-time libraries and system time of the simulated Win32: each thread's
// routine runs at the first wait for it, as a thread of its own.
#include "machine.h"

#include <map>

namespace {

struct SimThread {
  LPTHREAD_START_ROUTINE routine;
  LPVOID parameter;
  bool ended = false;
  std::uint64_t sleptMs = 0;
};

struct Threads {
  std::map<SimHandle *, std::unique_ptr<SimHandle>> handles;
  std::map<SimHandle *, SimThread> threads;
  int started = 0;
  int depth = 0;                    // threads running inside one another's waits
  std::map<HMODULE, int> libraries; // loads not yet freed
};

Threads &threads() {
  static Threads t;
  return t;
}

// Thrown by FreeLibraryAndExitThread to leave the thread's routine.
struct ThreadExit {};

} // namespace

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE routine, LPVOID parameter,
                    DWORD, LPDWORD threadId) {
  Threads &t = threads();
  auto handle = std::make_unique<SimHandle>(SimHandle{-1, "thread"});
  SimHandle *h = handle.get();
  t.handles[h] = std::move(handle);
  t.threads[h] = {routine, parameter};
  ++t.started;
  if (threadId) *threadId = 0x2000 + static_cast<DWORD>(t.started);
  return h;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto found = threads().threads.find(handle);
  if (found == threads().threads.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  SimThread &thread = found->second;
  if (!thread.ended) {
    thread.ended = true;
    thread.sleptMs = sim::runAsThread([&thread] { thread.routine(thread.parameter); });
    if (milliseconds != INFINITE && thread.sleptMs >= milliseconds) return WAIT_TIMEOUT;
  }
  return WAIT_OBJECT_0;
}

namespace sim {

std::uint64_t runAsThread(const std::function<void()> &body) {
  std::uint64_t before = machine().clockMs;
  ComThreadState messengers = swapComThreadState({});
  ++threads().depth;
  try {
    body();
  } catch (const ThreadExit &) {
  }
  --threads().depth;
  ComThreadState own = swapComThreadState(messengers);
  if (own.initialisations)
    coreAudio().misuses.push_back("a thread ended with COM still initialised");
  return machine().clockMs - before;
}

bool onOtherThread() {
  return threads().depth > 0;
}
std::uint64_t clockMs() {
  return machine().clockMs;
}
int openThreads() {
  return static_cast<int>(threads().handles.size());
}
int loadedLibraries() {
  int loads = 0;
  for (const auto &library : threads().libraries) loads += library.second;
  return loads;
}
bool closeThread(HANDLE handle) {
  Threads &t = threads();
  if (!t.handles.erase(handle)) return false;
  t.threads.erase(handle);
  return true;
}
void resetThreads() {
  threads() = Threads{};
}

} // namespace sim

// 2026-12-01 as a FILETIME; the simulated clock runs on from there.
constexpr std::int64_t simulationStart = 134'405'568'000'000'000;

void GetSystemTimeAsFileTime(FILETIME *time) {
  auto now = static_cast<std::uint64_t>(sim::fileTimeNow());
  *time = {static_cast<DWORD>(now), static_cast<DWORD>(now >> 32)};
}

std::int64_t sim::fileTimeNow() {
  return simulationStart + static_cast<std::int64_t>(machine().clockMs) * 10'000;
}

HMODULE LoadLibraryA(LPCSTR fileName) {
  HMODULE module = sim::libraryNamed(lower(fileName ? fileName : ""));
  if (!module) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  ++threads().libraries[module];
  return module;
}

BOOL GetModuleHandleExW(DWORD flags, LPCWSTR, HMODULE *module) {
  if (flags != GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS || !module) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *module = thisModule();
  ++threads().libraries[*module];
  return TRUE;
}

void FreeLibraryAndExitThread(HMODULE module, DWORD) {
  FreeLibrary(module);
  throw ThreadExit{};
}

BOOL FreeLibrary(HMODULE module) {
  auto loaded = threads().libraries.find(module);
  if (loaded == threads().libraries.end()) return FALSE;
  if (--loaded->second == 0) threads().libraries.erase(loaded);
  return TRUE;
}
