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

std::string hexOf(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

std::string textField(std::string_view name, std::string_view bytes) {
  bool plain = true;
  for (const char c : bytes) {
    if (c < 0x20 || c > 0x7E || c == '"') plain = false;
  }
  if (plain) return std::string(name) + "=\"" + std::string(bytes) + "\"";
  return std::string(name) + "=hex:" + hexOf(bytes);
}

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::optional<std::string> scriptText(std::string_view token) {
  constexpr std::string_view prefix = "hex:";
  if (token.substr(0, prefix.size()) != prefix) return std::string(token);
  const auto digits = token.substr(prefix.size());
  if (digits.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    unsigned value = 0;
    for (std::size_t j = i; j < i + 2; ++j) {
      const char c = digits[j];
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        value |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        value |= static_cast<unsigned>(c - 'A' + 10);
      else
        return std::nullopt;
    }
    out += static_cast<char>(value);
  }
  return out;
}
