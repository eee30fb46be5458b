// National-language support of the simulated Win32: CompareStringA in the locale's code page,
// and the conversions between the code pages and UTF-16.
#include "machine.h"
#include <array>
#include <cstring>
#include <string>

namespace {
// Case folding of Windows-1251: Latin, Russian and the other Cyrillic letters of the page.
unsigned char fold1251(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF))
    return static_cast<unsigned char>(c + 0x20);
  switch (c) {
  case 0xA8:
    return 0xB8; // IO
  case 0xAA:
    return 0xBA;
  case 0xAF:
    return 0xBF;
  case 0xB2:
    return 0xB3;
  case 0xA1:
    return 0xA2;
  case 0xA5:
    return 0xB4;
  case 0xA3:
    return 0xBC;
  case 0xBD:
    return 0xBE;
  case 0x80:
    return 0x90;
  case 0x81:
    return 0x83;
  case 0x8A:
    return 0x9A;
  case 0x8C:
    return 0x9C;
  case 0x8D:
    return 0x9D;
  case 0x8E:
    return 0x9E;
  case 0x8F:
    return 0x9F;
  default:
    return c;
  }
}

// Case folding of Windows-1252: the Latin letters of the page.
unsigned char fold1252(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
    return static_cast<unsigned char>(c + 0x20);
  switch (c) {
  case 0x8A:
    return 0x9A; // S caron
  case 0x8C:
    return 0x9C; // OE
  case 0x8E:
    return 0x9E; // Z caron
  case 0x9F:
    return 0xFF; // Y diaeresis
  default:
    return c;
  }
}

constexpr LCID languageRussian = 0x19;
// A code page's folding as a table of its 256 bytes, so that comparing costs a lookup a byte.
using Fold = std::array<unsigned char, 256>;

template <unsigned char (*fold)(unsigned char)> const Fold &foldTable() {
  static const Fold table = [] {
    Fold t{};
    for (std::size_t c = 0; c < t.size(); ++c) t[c] = fold(static_cast<unsigned char>(c));
    return t;
  }();
  return table;
}

// The case folding of the code page of the locale a comparison names: 0 and LOCALE_USER_DEFAULT
// mean the user's regional formats, LOCALE_SYSTEM_DEFAULT the system locale.
const Fold &foldOf(LCID locale) {
  const Machine &m = machine();
  if (locale == 0 || locale == LOCALE_USER_DEFAULT) locale = m.userLocale;
  if (locale == LOCALE_SYSTEM_DEFAULT) locale = m.systemLocale;
  return (locale & 0x3FF) == languageRussian ? foldTable<fold1251>() : foldTable<fold1252>();
}
} // namespace

int CompareStringA(LCID locale, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2) {
  const Fold &fold = foldOf(locale);
  std::size_t len1 = n1 < 0 ? std::strlen(s1) : static_cast<std::size_t>(n1);
  std::size_t len2 = n2 < 0 ? std::strlen(s2) : static_cast<std::size_t>(n2);
  for (std::size_t i = 0; i < len1 && i < len2; ++i) {
    auto a = static_cast<unsigned char>(s1[i]);
    auto b = static_cast<unsigned char>(s2[i]);
    if (flags & NORM_IGNORECASE) a = fold[a], b = fold[b];
    if (a != b) return a < b ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (len1 == len2) return CSTR_EQUAL;
  return len1 < len2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

void sim::setLocales(LCID system, LCID user) {
  machine().systemLocale = system;
  machine().userLocale = user;
}

namespace {
// Bytes 0x80 to 0xFF of Windows-1251; a byte the page leaves undefined maps to the C1 control
// of its value, as on Windows.
constexpr std::array<char16_t, 128> upper1251{
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039,
    0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408,
    0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB,
    0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417,
    0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423,
    0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F,
    0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B,
    0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447,
    0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};
// Windows-1252 from 0x80 to 0x9F; from 0xA0 on, each byte is the character of its value.
constexpr std::array<char16_t, 32> low1252{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char32_t replacement = 0xFFFD;
constexpr char32_t none = 0xFFFFFFFF;

char16_t fromByte(UINT codePage, unsigned char b) {
  if (b < 0x80) return b;
  if (codePage == 1251) return upper1251[b - 0x80];
  return b < 0xA0 ? low1252[b - 0x80] : b;
}

// The byte of a code page for a character, or none when the page lacks it.
char32_t toByte(UINT codePage, char32_t c) {
  if (c < 0x80) return c;
  for (unsigned b = 0x80; b < 256; ++b)
    if (fromByte(codePage, static_cast<unsigned char>(b)) == c) return b;
  return none;
}

UINT resolved(UINT codePage) {
  if (codePage != CP_ACP) return codePage;
  return (machine().systemLocale & 0x3FF) == languageRussian ? 1251 : 1252;
}

// The character of the UTF-8 sequence at the front and its length in bytes; for an invalid
// one U+FFFD and the length of its longest valid start, at least 1.
std::pair<char32_t, std::size_t> utf8At(std::string_view s) {
  auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char lead = b(0);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                       : lead >= 0xE0 && lead <= 0xEF ? 3
                       : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                      : 0;
  if (length == 0) return {replacement, 1};
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  char32_t c = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if (i >= s.size() || b(i) < (i == 1 ? low : 0x80) || b(i) > (i == 1 ? high : 0xBF))
      return {replacement, i};
    c = (c << 6) | (b(i) & 0x3F);
  }
  return {c, length};
}

// The character of the UTF-16 at the front and its length in units; U+FFFD for a lone
// surrogate.
std::pair<char32_t, std::size_t> utf16At(std::wstring_view w) {
  char32_t c = static_cast<char32_t>(w[0]) & 0xFFFF;
  if (c < 0xD800 || c > 0xDFFF) return {c, 1};
  char32_t next = w.size() > 1 ? static_cast<char32_t>(w[1]) & 0xFFFF : 0;
  if (c > 0xDBFF || next < 0xDC00 || next > 0xDFFF) return {replacement, 1};
  return {0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00), 2};
}

void appendUtf16(std::wstring &out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<WCHAR>(c));
    return;
  }
  out.push_back(static_cast<WCHAR>(0xD800 + ((c - 0x10000) >> 10)));
  out.push_back(static_cast<WCHAR>(0xDC00 + ((c - 0x10000) & 0x3FF)));
}

void appendUtf8(std::string &out, char32_t c) {
  std::size_t length = c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  constexpr unsigned char leads[] = {0, 0, 0xC0, 0xE0, 0xF0};
  for (std::size_t i = 0; i < length; ++i) {
    std::size_t shift = 6 * (length - 1 - i);
    char32_t bits = i == 0 ? leads[length] | c >> shift : 0x80 | (c >> shift & 0x3F);
    out.push_back(static_cast<char>(bits));
  }
}

// Windows' best fit for the Latin-1 letters (U+00C0 to U+00FF) a page lacks: the letter without
// its accent; '?' where there is none.
constexpr std::string_view latinBestFit =
    "AAAAAAACEEEEIIII?NOOOOO?OUUUUY??aaaaaaaceeeeiiii?nooooo?ouuuuy?y";

char32_t bestFit(char32_t c) {
  char fit = c >= 0xC0 && c <= 0xFF ? latinBestFit[c - 0xC0] : '?';
  return fit == '?' ? none : static_cast<char32_t>(fit);
}

// Each character in the code page, or the default character where the page lacks it.
std::string bytesOf(UINT codePage, std::wstring_view wide, char defaultChar, bool &usedDefault,
                    bool withBestFit = false) {
  std::string out;
  while (!wide.empty()) {
    auto [c, length] = utf16At(wide);
    wide.remove_prefix(length);
    if (codePage == CP_UTF8) {
      appendUtf8(out, c);
      continue;
    }
    char32_t b = toByte(codePage, c);
    if (b == none && withBestFit) b = bestFit(c);
    usedDefault |= b == none;
    out.push_back(b == none ? defaultChar : static_cast<char>(b));
  }
  return out;
}

bool known(UINT codePage) {
  return codePage == 1251 || codePage == 1252 || codePage == CP_UTF8;
}

// A count of the caller's: negative reads up to the terminator and takes it along.
template <class Char> std::basic_string_view<Char> counted(const Char *s, int count) {
  if (count >= 0) return {s, static_cast<std::size_t>(count)};
  return {s, std::char_traits<Char>::length(s) + 1};
}

// The converted text into the caller's buffer, or its size for a count of 0.
template <class Char> int intoBuffer(const std::basic_string<Char> &text, Char *out, int count) {
  if (count == 0) return static_cast<int>(text.size());
  if (text.size() > static_cast<std::size_t>(count)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(text.begin(), text.end(), out);
  return static_cast<int>(text.size());
}
} // namespace

std::wstring wideFrom(UINT codePage, std::string_view bytes) {
  codePage = resolved(codePage);
  std::wstring out;
  while (!bytes.empty()) {
    if (codePage != CP_UTF8) {
      out.push_back(fromByte(codePage, static_cast<unsigned char>(bytes[0])));
      bytes.remove_prefix(1);
      continue;
    }
    auto [c, length] = utf8At(bytes);
    appendUtf16(out, c);
    bytes.remove_prefix(length);
  }
  return out;
}

std::string bytesFrom(UINT codePage, std::wstring_view wide) {
  bool usedDefault = false;
  return bytesOf(resolved(codePage), wide, '?', usedDefault);
}

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR wide,
                        int wideCount) {
  if (!known(resolved(codePage)) || flags != 0 || !bytes || byteCount == 0 || wideCount < 0 ||
      (wideCount > 0 && !wide)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return intoBuffer(wideFrom(codePage, counted(bytes, byteCount)), wide, wideCount);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR bytes,
                        int byteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  codePage = resolved(codePage);
  bool utf8 = codePage == CP_UTF8;
  if (!known(codePage) || (flags & ~WC_NO_BEST_FIT_CHARS) || !wide || wideCount == 0 ||
      byteCount < 0 || (byteCount > 0 && !bytes) ||
      (utf8 && (flags || defaultChar || usedDefaultChar))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  bool usedDefault = false;
  std::string text = bytesOf(codePage, counted(wide, wideCount), defaultChar ? *defaultChar : '?',
                             usedDefault, !(flags & WC_NO_BEST_FIT_CHARS));
  if (usedDefaultChar) *usedDefaultChar = usedDefault ? TRUE : FALSE;
  return intoBuffer(text, bytes, byteCount);
}
