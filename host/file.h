#pragma once
// An existing file opened for reading only, while others may still read and write it; closed
// on every path. A wide name reaches any folder, also one whose name the ANSI code page cannot
// spell.
#include "host/win32.h"

struct ReadOnlyFile {
  HANDLE handle;
  explicit ReadOnlyFile(const char *path)
      : handle(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  explicit ReadOnlyFile(const WCHAR *path)
      : handle(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~ReadOnlyFile() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  ReadOnlyFile(const ReadOnlyFile &) = delete;
  ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;
  bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }
};
