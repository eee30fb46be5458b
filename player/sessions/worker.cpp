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

DWORD WINAPI workerMain(LPVOID) {
  HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(com)) return 0;
  // Nothing may escape the thread: an exception here would end the messenger's process.
  try {
    pendingJob(pendingWhat);
  } catch (...) {
  }
  CoUninitialize();
  return 0;
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
  pendingJob = job;
  pendingWhat = what;
  stopping = false;
  worker.handle = CreateThread(nullptr, 0, workerMain, nullptr, 0, nullptr);
  if (!worker.handle) return false;
  return WaitForSingleObject(worker.handle, boundMs) == WAIT_OBJECT_0 && idle();
}

bool workerStopping() {
  return stopping;
}

void stopWorker() {
  if (!worker.handle) return;
  stopping = true;
  WaitForSingleObject(worker.handle, INFINITE);
  worker.close();
}
