// National-language support of the simulated Win32, a part of win32sim.h: CompareStringA.
inline constexpr DWORD NORM_IGNORECASE = 0x00000001;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
int CompareStringA(LCID locale, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2);

namespace sim {
// The system locale (its code page is the ANSI code page, "language for non-Unicode programs")
// and the user's regional formats; both ru-RU (0x0419, code page 1251) on a fresh machine.
// Russian locales fold case in code page 1251, all others in 1252.
void setLocales(LCID system, LCID user);
} // namespace sim
