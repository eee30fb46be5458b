#pragma once
// What the bindings of Windows' DLLs share: the handles of one run, guest strings and arguments
// read, and the simulated Win32's last-error value handed across. Each DLL has its own file.
#include "tests/emulator/bindings.h"

#include "win32sim.h"

#include <map>

namespace emu::win32 {
struct State {
  std::map<std::uintptr_t, std::uint32_t> toGuest;
  std::map<std::uint32_t, std::uintptr_t> toHost;
  std::uint32_t next = 0x00C00004;
  Addr module = 0;
  std::vector<MixerCall> mixerCalls;
  std::map<std::string, Addr> procedures; // handed out by GetProcAddress, by name
  Addr view = 0;                          // the one view of a file mapping the guest holds
  LPVOID hostView = nullptr;
};
State &state();

std::uint32_t guestHandle(const void *host);
template <class T> T hostHandle(std::uint32_t guest) {
  return reinterpret_cast<T>(hostHandleOf(guest));
}

// A string argument: null stays null.
struct Text {
  bool null;
  std::string bytes;
  explicit Text(Addr p) : null(p == 0), bytes(p ? readCString(p) : std::string()) {}
  const char *get() const { return null ? nullptr : bytes.c_str(); }
};

// An HRESULT as the guest reads it from EAX.
inline std::uint32_t hresult(HRESULT r) {
  return static_cast<std::uint32_t>(r);
}

// UTF-16 in guest memory, two bytes a unit; on the host one WCHAR a unit.
std::wstring readWide(Addr p, std::size_t units);
std::wstring readWideCString(Addr p);
void writeWide(Addr p, std::wstring_view units);
// A GUID argument; the call named is refused a null one.
GUID guidAt(Addr p, const char *what);

// A wide string argument: null stays null.
struct WideText {
  bool null;
  std::wstring units;
  explicit WideText(Addr p) : null(p == 0), units(p ? readWideCString(p) : std::wstring()) {}
  const WCHAR *get() const { return null ? nullptr : units.c_str(); }
};

inline std::int32_t signedArg(const Call &c, int i) {
  return static_cast<std::int32_t>(c.arg(i));
}

// The simulated Win32 keeps its own last-error value: the thread's is handed over on the way in
// and taken back on the way out, so that GetLastError in the guest sees what the call set.
template <HostRoutine routine> std::uint32_t withLastError(const Call &c) {
  SetLastError(read32(lastErrorAddress));
  std::uint32_t result = routine(c);
  write32(lastErrorAddress, GetLastError());
  return result;
}

const std::vector<Binding> &user32Bindings();
const std::vector<Binding> &kernel32Bindings();
const std::vector<Binding> &advapi32Bindings();
const std::vector<Binding> &shell32Bindings();
const std::vector<Binding> &winmmBindings();
} // namespace emu::win32
