// advapi32 of the simulated Win32, a part of win32sim.h: the registry, read only.
inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr DWORD REG_SZ = 1;
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY *result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
LSTATUS RegCloseKey(HKEY key);

namespace sim {
// Registry values: (root, sub key, value name) -> raw bytes as stored, NUL included.
void setRegistryValue(HKEY root, const std::string &subKey, const std::string &valueName,
                      const std::string &bytes);
int openRegistryKeys();
} // namespace sim
