// National-language support of the simulated Win32, a part of win32sim.h: CompareStringA and
// the conversions between code pages and UTF-16.
inline constexpr DWORD NORM_IGNORECASE = 0x00000001;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_UTF8 = 65001;
inline constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;
int CompareStringA(LCID locale, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2);
// CP_ACP (the system locale's code page: 1251 for Russian, else 1252), 1251, 1252 and CP_UTF8.
// A negative count reads up to the terminator and converts it too; a count of 0 fails with
// ERROR_INVALID_PARAMETER, and a buffer too small with ERROR_INSUFFICIENT_BUFFER. Invalid UTF-8
// and lone surrogates become U+FFFD; a character the code page lacks becomes its best fit (a
// Latin letter without its accent) unless WC_NO_BEST_FIT_CHARS is given (CP_UTF8 takes no
// flag), else the default character, '?' unless one is given (none may be for CP_UTF8).
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR bytes, int byteCount, LPWSTR wide,
                        int wideCount);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideCount, LPSTR bytes,
                        int byteCount, LPCSTR defaultChar, LPBOOL usedDefaultChar);

namespace sim {
// The system locale (its code page is the ANSI code page, "language for non-Unicode programs")
// and the user's regional formats; both ru-RU (0x0419, code page 1251) on a fresh machine.
// Russian locales fold case in code page 1251, all others in 1252.
void setLocales(LCID system, LCID user);
} // namespace sim
