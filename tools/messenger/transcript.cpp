#include "transcript.h"

#include "handles.h"

#include <windows.h>

#include <cstdio>

namespace {

struct Output {
  Output() {
    InitializeCriticalSection(&lock);
    start = GetTickCount64();
  }
  ~Output() { DeleteCriticalSection(&lock); }
  CRITICAL_SECTION lock;
  Handle file;
  ULONGLONG start = 0;
};

Output &output() {
  static Output instance;
  return instance;
}

} // namespace

bool openTranscriptFile(const char *path) {
  Output &out = output();
  out.file.reset(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return out.file.get() != INVALID_HANDLE_VALUE;
}

unsigned long long elapsedMs() {
  return GetTickCount64() - output().start;
}

void note(std::string_view line) {
  Output &out = output();
  char stamp[24];
  std::snprintf(stamp, sizeof stamp, "[%7llu] ", elapsedMs());
  const std::string text = stamp + std::string(line) + "\n";
  EnterCriticalSection(&out.lock);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
  if (out.file && out.file.get() != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(out.file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
  LeaveCriticalSection(&out.lock);
}
