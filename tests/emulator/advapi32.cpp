// advapi32's functions the plug-in imports, served by the simulated registry.
#include "tests/emulator/win32.h"

namespace emu::win32 {
namespace {
std::uint32_t regOpenKeyExA(const Call &c) {
  HKEY key = nullptr;
  LSTATUS status =
      RegOpenKeyExA(hostHandle<HKEY>(c.arg(0)), Text(c.arg(1)).get(), c.arg(2), c.arg(3), &key);
  if (status == ERROR_SUCCESS) write32(c.arg(4), guestHandle(key));
  return static_cast<std::uint32_t>(status);
}

std::uint32_t regQueryValueExA(const Call &c) {
  Addr typeAt = c.arg(3), dataAt = c.arg(4), sizeAt = c.arg(5);
  DWORD size = sizeAt ? read32(sizeAt) : 0;
  DWORD type = 0;
  std::string data(dataAt ? size : 0, '\0');
  LSTATUS status = RegQueryValueExA(
      hostHandle<HKEY>(c.arg(0)), Text(c.arg(1)).get(), nullptr, typeAt ? &type : nullptr,
      dataAt ? reinterpret_cast<LPBYTE>(data.data()) : nullptr, sizeAt ? &size : nullptr);
  if (typeAt && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) write32(typeAt, type);
  if (dataAt && status == ERROR_SUCCESS) write(dataAt, data.substr(0, size));
  if (sizeAt) write32(sizeAt, size);
  return static_cast<std::uint32_t>(status);
}

std::uint32_t regCloseKey(const Call &c) {
  return static_cast<std::uint32_t>(RegCloseKey(hostHandle<HKEY>(c.arg(0))));
}
} // namespace

const std::vector<Binding> &advapi32Bindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"advapi32.dll", "RegOpenKeyExA", w, 5, withLastError<regOpenKeyExA>, 0},
      {"advapi32.dll", "RegQueryValueExA", w, 6, withLastError<regQueryValueExA>, 0},
      {"advapi32.dll", "RegCloseKey", w, 1, withLastError<regCloseKey>, 0},
  };
  return bindings;
}
} // namespace emu::win32
