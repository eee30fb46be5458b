// advapi32 of the simulated Win32: registry keys opened, read and closed over values tests set.
#include "machine.h"
#include <cstring>

namespace {
std::string registryPath(HKEY root, const std::string &subKey) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(root)) + "\\" + lower(subKey);
}
} // namespace

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, HKEY *result) {
  auto &m = machine();
  std::string path = registryPath(key, subKey ? subKey : "");
  if (!m.registry.count(path)) return ERROR_FILE_NOT_FOUND;
  auto k = std::make_unique<SimKey>(SimKey{path});
  *result = k.get();
  m.keys[k.get()] = std::move(k);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
  auto &m = machine();
  auto k = m.keys.find(key);
  if (k == m.keys.end()) return ERROR_ACCESS_DENIED;
  auto &values = m.registry[k->second->path];
  auto v = values.find(lower(valueName ? valueName : ""));
  if (v == values.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = REG_SZ;
  auto needed = static_cast<DWORD>(v->second.size());
  if (!data) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (!size || *size < needed) {
    if (size) *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, v->second.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  return machine().keys.erase(key) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

void sim::setRegistryValue(HKEY root, const std::string &subKey, const std::string &valueName,
                           const std::string &bytes) {
  machine().registry[registryPath(root, subKey)][lower(valueName)] = bytes;
}

int sim::openRegistryKeys() {
  return static_cast<int>(machine().keys.size());
}
