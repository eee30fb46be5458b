// National-language support of the simulated Win32: CompareStringA in the locale's code page.
#include "machine.h"
#include <array>
#include <cstring>

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
