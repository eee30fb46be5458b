// The Win32 functions the plug-in imports, forwarded to the simulated Win32 of the native tests:
// guest pointers, strings, handles and 32-bit structures translated on the way in and out. This
// file keeps the handles; each DLL's functions are in a file of its own.
#include "tests/emulator/win32.h"

#include <cstring>

namespace emu {
namespace {
constexpr std::uintptr_t hostInvalid = ~std::uintptr_t{0};
constexpr std::uint32_t guestInvalid = 0xFFFFFFFF;
// Handles with the same value in both worlds: none, and the predefined registry root.
constexpr std::uintptr_t classesRoot = 0x80000000;
// A guest handle that was never handed out stands for a host handle that names nothing.
constexpr std::uintptr_t unknownHandle = std::uintptr_t{0xBAD0} << 48;
} // namespace

win32::State &win32::state() {
  static State s;
  return s;
}

std::uint32_t win32::guestHandle(const void *host) {
  auto h = reinterpret_cast<std::uintptr_t>(host);
  if (h == 0 || h == classesRoot) return static_cast<std::uint32_t>(h);
  if (h == hostInvalid) return guestInvalid;
  State &s = state();
  auto known = s.toGuest.find(h);
  if (known != s.toGuest.end()) return known->second;
  std::uint32_t g = s.next;
  s.next += 4;
  s.toGuest[h] = g;
  s.toHost[g] = h;
  return g;
}

std::wstring win32::readWide(Addr p, std::size_t units) {
  std::string bytes = read(p, 2 * units);
  std::wstring out;
  for (std::size_t i = 0; i < bytes.size(); i += 2)
    out.push_back(static_cast<WCHAR>(static_cast<std::uint8_t>(bytes[i]) |
                                     static_cast<std::uint8_t>(bytes[i + 1]) << 8));
  return out;
}

GUID win32::guidAt(Addr p, const char *what) {
  if (!p) throw Fault(std::string(what) + " was given a null GUID");
  GUID g{};
  std::string bytes = read(p, sizeof g);
  std::memcpy(&g, bytes.data(), sizeof g);
  return g;
}

std::wstring win32::readWideCString(Addr p) {
  std::wstring out;
  for (Addr at = p;; at += 2) {
    std::wstring unit = readWide(at, 1);
    if (unit[0] == 0) return out;
    out += unit;
  }
}

void win32::writeWide(Addr p, std::wstring_view units) {
  std::string bytes;
  for (WCHAR u : units) {
    bytes.push_back(static_cast<char>(u & 0xFF));
    bytes.push_back(static_cast<char>(u >> 8 & 0xFF));
  }
  write(p, bytes);
}

std::uintptr_t hostHandleOf(std::uint32_t guest) {
  std::uintptr_t h = unknownHandle | guest;
  if (guest == 0 || guest == classesRoot) h = guest;
  if (guest == guestInvalid) h = hostInvalid;
  auto known = win32::state().toHost.find(guest);
  if (known != win32::state().toHost.end()) h = known->second;
  return h;
}

void setModule(Addr base, const std::vector<int> &iconIds) {
  win32::state().module = base;
  sim::setModuleIcons(iconIds);
}
Addr moduleBase() {
  return win32::state().module;
}
void resetWin32Bindings() {
  win32::state() = win32::State{};
}

const std::vector<Binding> &win32Bindings() {
  static const std::vector<Binding> bindings = [] {
    std::vector<Binding> all;
    for (const auto *table :
         {&win32::user32Bindings(), &win32::kernel32Bindings(), &win32::advapi32Bindings(),
          &win32::shell32Bindings(), &win32::winmmBindings()})
      all.insert(all.end(), table->begin(), table->end());
    return all;
  }();
  return bindings;
}
} // namespace emu
