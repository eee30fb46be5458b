#include "player/launch.h"

#include "host/file.h"

#include <string>

namespace {

constexpr DWORD lookupCount = 9;
constexpr DWORD lookupIntervalMs = 750;
constexpr DWORD settleMs = 200;
// "Winamp fastsearch failed!" / "Winamp not found!"
constexpr const char *notFoundText =
    "Winamp fastsearch failed!\r\n\r\n\xCD\xE5 \xEE\xE1\xED\xE0\xF0\xF3\xE6\xE5\xED Winamp!";
// "Winamp launch error" / "Could not start Winamp"
constexpr const char *launchErrorText = "Winamp launch error\r\n\r\n\xCD\xE5 "
                                        "\xF3\xE4\xE0\xEB\xEE\xF1\xFC \xE7\xE0\xEF\xF3\xF1\xF2\xE8"
                                        "\xF2\xFC Winamp";

struct RegistryKey {
  HKEY handle = nullptr;
  RegistryKey(HKEY root, const char *path) {
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &handle) != ERROR_SUCCESS) handle = nullptr;
  }
  ~RegistryKey() {
    if (handle) RegCloseKey(handle);
  }
  RegistryKey(const RegistryKey &) = delete;
  RegistryKey &operator=(const RegistryKey &) = delete;
};

// The value as stored, up to its terminating NUL; empty when it cannot be read.
LSTATUS queryDefaultValue(HKEY key, std::string &value) {
  auto size = static_cast<DWORD>(value.size());
  LSTATUS status =
      RegQueryValueExA(key, "", nullptr, nullptr, reinterpret_cast<LPBYTE>(value.data()), &size);
  value.resize(status == ERROR_SUCCESS || status == ERROR_MORE_DATA ? size : 0);
  return status;
}

HWND waitForWindow(HWND (*lookup)()) {
  HWND window = nullptr;
  for (DWORD lookups = 0; !window && lookups < lookupCount; ++lookups) {
    Sleep(lookupIntervalMs);
    window = lookup();
  }
  return window;
}

} // namespace

HWND startPlayer(const std::string &path, HWND (*lookup)()) {
  if (!fileExists(path)) {
    MessageBoxA(nullptr, notFoundText, "", MB_OK | MB_ICONHAND | MB_TASKMODAL);
    return nullptr;
  }
  ShellExecuteA(nullptr, "open", path.c_str(), "", "", SW_SHOWNORMAL);
  HWND window = waitForWindow(lookup);
  if (!window) {
    MessageBoxA(nullptr, launchErrorText, "",
                MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL | MB_TOPMOST);
    return nullptr;
  }
  Sleep(settleMs);
  return window;
}

bool fileExists(const std::string &path) {
  if (path.empty()) return false;
  return ReadOnlyFile(path.c_str()).isOpen();
}

std::string readOpenCommand(const char *key) {
  RegistryKey opened(HKEY_CLASSES_ROOT, key);
  if (!opened.handle) return {};
  std::string value(255, '\0');
  // A longer command is asked for again with the size the registry reports.
  if (queryDefaultValue(opened.handle, value) == ERROR_MORE_DATA &&
      queryDefaultValue(opened.handle, value) != ERROR_SUCCESS)
    return {};
  return value.substr(0, value.find('\0'));
}

// As this process sees it: a 32-bit process on 64-bit Windows gets Program Files (x86) for
// %ProgramFiles%. Empty when the expansion fails or does not fit.
std::string expandedPath(const char *pattern) {
  char path[MAX_PATH];
  DWORD size = ExpandEnvironmentStringsA(pattern, path, MAX_PATH);
  if (size == 0 || size > MAX_PATH) return {};
  return path;
}

std::string programPathOf(std::string_view command, bool (*isFile)(const std::string &)) {
  if (!command.empty() && command.front() == '"') {
    command.remove_prefix(1);
    return std::string(command.substr(0, command.find('"')));
  }
  std::string whole(command);
  if (isFile(whole)) return whole;
  return std::string(command.substr(0, command.find(' ')));
}
