#include "standin.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const {
    if (handle && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

const ULONGLONG startTick = GetTickCount64();
std::unique_ptr<void, HandleCloser> log;

} // namespace

void openLog(const std::string &path) {
  log.reset(CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

void logLine(const std::string &text) {
  char stamp[24];
  std::snprintf(stamp, sizeof stamp, "[%7llu] ", GetTickCount64() - startTick);
  const std::string line = stamp + text + " pid=" + std::to_string(GetCurrentProcessId()) + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
  if (log) {
    DWORD written = 0;
    WriteFile(log.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  }
}

void blockFor(const std::string &head, WPARAM ms) {
  logLine(head + " request=block ms=" + std::to_string(ms));
  Sleep(static_cast<DWORD>(ms));
  logLine("unblocked after=" + std::to_string(ms) + "ms");
}

LRESULT closeOrDefault(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CLOSE:
    logLine("WM_CLOSE");
    DestroyWindow(window);
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    return DefWindowProcA(window, message, wParam, lParam);
  }
}

std::string quoted(const std::string &bytes) {
  bool plain = true;
  for (const char c : bytes) {
    if (c < 0x20 || c > 0x7E || c == '"') plain = false;
  }
  if (plain) return "\"" + bytes + "\"";
  std::string hex = "hex:";
  char digits[4];
  for (const char c : bytes) {
    std::snprintf(digits, sizeof digits, "%02X",
                  static_cast<unsigned>(static_cast<unsigned char>(c)));
    hex += digits;
  }
  return hex;
}

bool fromHex(const std::string &digits, std::string &out) {
  if (digits.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    char *end = nullptr;
    const std::string pair = digits.substr(i, 2);
    const long value = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    out += static_cast<char>(value);
  }
  return true;
}

std::vector<std::string> options(int argc, char **argv) {
  std::vector<std::string> out;
  if (const char *env = std::getenv("STANDIN_PLAYER_OPTIONS")) {
    std::string word;
    for (const char *c = env;; ++c) {
      if (*c == ' ' || *c == '\0') {
        if (!word.empty()) out.push_back(word);
        word.clear();
        if (*c == '\0') break;
      } else {
        word += *c;
      }
    }
  }
  for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
  return out;
}
