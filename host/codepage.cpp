#include "host/codepage.h"

#include <array>
#include <climits>
#include <cstdint>

namespace {

// What may follow a UTF-8 lead byte: the sequence's length and the range of its second byte,
// which keeps out overlong forms, surrogates and everything above U+10FFFF.
struct Lead {
  std::uint8_t length;
  std::uint8_t low;
  std::uint8_t high;
};

constexpr Lead leadOf(std::uint8_t b) {
  if (b < 0x80) return {1, 0, 0};
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

constexpr auto leads = [] {
  std::array<Lead, 256> table{};
  for (std::size_t b = 0; b < table.size(); ++b) table[b] = leadOf(static_cast<std::uint8_t>(b));
  return table;
}();

// The length of the valid UTF-8 sequence at the front, or 0 when it is not one.
std::size_t sequenceLength(std::string_view s) {
  const Lead &lead = leads[static_cast<std::uint8_t>(s[0])];
  if (lead.length == 0 || s.size() < lead.length) return 0;
  for (std::size_t i = 1; i < lead.length; ++i) {
    auto b = static_cast<std::uint8_t>(s[i]);
    if (b < (i == 1 ? lead.low : 0x80) || b > (i == 1 ? lead.high : 0xBF)) return 0;
  }
  return lead.length;
}

// Windows' conversion with the given flags: 0 lets it put a look-alike in place of a character
// the code page lacks (best fit).
std::string ansiFrom(std::basic_string_view<WCHAR> text, DWORD flags) {
  // Windows refuses an empty text, and counts in an int.
  if (text.empty() || text.size() > INT_MAX) return {};
  const int units = static_cast<int>(text.size());
  int size = WideCharToMultiByte(CP_ACP, flags, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string ansi(static_cast<std::size_t>(size), '\0');
  size =
      WideCharToMultiByte(CP_ACP, flags, text.data(), units, ansi.data(), size, nullptr, nullptr);
  ansi.resize(static_cast<std::size_t>(size > 0 ? size : 0));
  return ansi;
}

} // namespace

bool isUtf8WithNonAscii(std::string_view bytes) {
  bool nonAscii = false;
  while (!bytes.empty()) {
    std::size_t length = sequenceLength(bytes);
    if (length == 0) return false;
    nonAscii |= length > 1;
    bytes.remove_prefix(length);
  }
  return nonAscii;
}

std::string ansiFromUtf16(std::basic_string_view<WCHAR> text) {
  return ansiFrom(text, 0);
}

std::string ansiFromUtf8(std::string_view bytes) {
  return ansiFromUtf16(wideFromUtf8(bytes));
}

std::string ansiPathFromUtf16(std::basic_string_view<WCHAR> text) {
  std::string path = ansiFrom(text, WC_NO_BEST_FIT_CHARS);
  // A code page that takes no such flag, UTF-8, holds every character anyway.
  return path.empty() ? ansiFromUtf16(text) : path;
}

std::basic_string<WCHAR> wideFromUtf8(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) return {};
  const int count = static_cast<int>(bytes.size());
  int units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, nullptr, 0);
  if (units <= 0) return {};
  std::basic_string<WCHAR> wide(static_cast<std::size_t>(units), L'\0');
  units = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), count, wide.data(), units);
  wide.resize(static_cast<std::size_t>(units > 0 ? units : 0));
  return wide;
}
