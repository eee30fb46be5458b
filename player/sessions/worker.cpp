#include "player/sessions/worker.h"

#include <atomic>

namespace {

// The thread of the last job, until it is seen to have ended.
struct WorkerThread {
  HANDLE handle = nullptr;
  WorkerThread() = default;
  ~WorkerThread() { close(); }
  WorkerThread(const WorkerThread &) = delete;
  WorkerThread &operator=(const WorkerThread &) = delete;
  void close() {
    if (handle) CloseHandle(handle);
    handle = nullptr;
  }
};

WorkerThread worker;
WorkerJob pendingJob = nullptr;
int pendingWhat = 0;
std::atomic<bool> stopping{false};
// Set once the job has run to its end: a job that did not run leaves no findings to trust.
std::atomic<bool> jobRan{false};

// The parameter is the thread's own reference to the library, given back as it leaves.
DWORD WINAPI workerMain(LPVOID library) {
  if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
    // Nothing may escape the thread: an exception here would end the messenger's process.
    try {
      pendingJob(pendingWhat);
      jobRan = true;
    } catch (...) {
    }
    CoUninitialize();
  }
  FreeLibraryAndExitThread(static_cast<HMODULE>(library), 0);
}

// No job runs: the last one has ended, and its thread is closed.
bool idle() {
  if (!worker.handle) return true;
  if (WaitForSingleObject(worker.handle, 0) != WAIT_OBJECT_0) return false;
  worker.close();
  return true;
}

} // namespace

bool runOnWorker(WorkerJob job, int what, DWORD boundMs) {
  if (!idle()) return false;
  HMODULE library = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&workerMain), &library))
    return false;
  pendingJob = job;
  pendingWhat = what;
  stopping = false;
  jobRan = false;
  worker.handle = CreateThread(nullptr, 0, workerMain, library, 0, nullptr);
  if (!worker.handle) {
    FreeLibrary(library);
    return false;
  }
  return WaitForSingleObject(worker.handle, boundMs) == WAIT_OBJECT_0 && idle() && jobRan;
}

bool workerStopping() {
  return stopping;
}

void stopWorker(DWORD boundMs) {
  if (!worker.handle) return;
  stopping = true;
  // A worker that has not ended keeps its handle: the next press then sees it still busy.
  if (WaitForSingleObject(worker.handle, boundMs) == WAIT_OBJECT_0) worker.close();
}
