// kernel32's functions the plug-in imports, served by the simulated kernel32 and its national-
// language support: strings compared and converted, files, the environment, processes and
// modules, file mappings.
#include "tests/emulator/win32.h"

#include <unicorn/unicorn.h>

#include <utility>

namespace emu::win32 {
namespace {
// A counted string, or up to its terminator when the count is negative.
std::string countedText(Addr p, std::int32_t n) {
  return n < 0 ? readCString(p) : read(p, static_cast<std::size_t>(n));
}

std::uint32_t compareStringA(const Call &c) {
  std::string a = countedText(c.arg(2), signedArg(c, 3));
  std::string b = countedText(c.arg(4), signedArg(c, 5));
  return static_cast<std::uint32_t>(
      CompareStringA(c.arg(0), c.arg(1), c.arg(2) ? a.data() : nullptr, static_cast<int>(a.size()),
                     c.arg(4) ? b.data() : nullptr, static_cast<int>(b.size())));
}

// A negative count takes the text up to its terminator and the terminator too.
std::string convertedBytes(Addr p, std::int32_t n) {
  return n < 0 ? readCString(p) + '\0' : read(p, static_cast<std::size_t>(n));
}
std::wstring convertedUnits(Addr p, std::int32_t n) {
  return n < 0 ? readWideCString(p) + L'\0' : readWide(p, static_cast<std::size_t>(n));
}

std::uint32_t multiByteToWideChar(const Call &c) {
  std::string in = c.arg(2) ? convertedBytes(c.arg(2), signedArg(c, 3)) : std::string();
  std::int32_t room = signedArg(c, 5);
  std::wstring out(room > 0 ? static_cast<std::size_t>(room) : 0, L'\0');
  int n = MultiByteToWideChar(c.arg(0), c.arg(1), c.arg(2) ? in.data() : nullptr,
                              signedArg(c, 3) == 0 ? 0 : static_cast<int>(in.size()),
                              c.arg(4) ? out.data() : nullptr, room);
  if (n > 0 && room > 0) writeWide(c.arg(4), std::wstring_view(out).substr(0, n));
  return static_cast<std::uint32_t>(n);
}

std::uint32_t wideCharToMultiByte(const Call &c) {
  std::wstring in = c.arg(2) ? convertedUnits(c.arg(2), signedArg(c, 3)) : std::wstring();
  std::int32_t room = signedArg(c, 5);
  std::string out(room > 0 ? static_cast<std::size_t>(room) : 0, '\0');
  std::string defaultChar = c.arg(6) ? read(c.arg(6), 1) : std::string();
  BOOL usedDefault = FALSE;
  int n = WideCharToMultiByte(
      c.arg(0), c.arg(1), c.arg(2) ? in.data() : nullptr,
      signedArg(c, 3) == 0 ? 0 : static_cast<int>(in.size()), c.arg(4) ? out.data() : nullptr, room,
      c.arg(6) ? defaultChar.data() : nullptr, c.arg(7) ? &usedDefault : nullptr);
  if (n > 0 && room > 0) write(c.arg(4), std::string_view(out).substr(0, n));
  if (c.arg(7)) write32(c.arg(7), static_cast<std::uint32_t>(usedDefault));
  return static_cast<std::uint32_t>(n);
}

std::uint32_t sleep(const Call &c) {
  Sleep(c.arg(0));
  return 0;
}
std::uint32_t getSystemTimeAsFileTime(const Call &c) {
  FILETIME time{};
  GetSystemTimeAsFileTime(&time);
  write32(c.arg(0), time.dwLowDateTime);
  write32(c.arg(0) + 4, time.dwHighDateTime);
  return 0;
}
std::uint32_t createFileA(const Call &c) {
  return guestHandle(CreateFileA(Text(c.arg(0)).get(), c.arg(1), c.arg(2), nullptr, c.arg(4),
                                 c.arg(5), hostHandle<HANDLE>(c.arg(6))));
}

std::uint32_t createFileW(const Call &c) {
  return guestHandle(CreateFileW(WideText(c.arg(0)).get(), c.arg(1), c.arg(2), nullptr, c.arg(4),
                                 c.arg(5), hostHandle<HANDLE>(c.arg(6))));
}

std::uint32_t getFileSize(const Call &c) {
  DWORD high = 0;
  DWORD low = GetFileSize(hostHandle<HANDLE>(c.arg(0)), c.arg(1) ? &high : nullptr);
  if (c.arg(1)) write32(c.arg(1), high);
  return low;
}

std::uint32_t readFile(const Call &c) {
  std::string buffer(c.arg(2), '\0');
  DWORD done = 0;
  BOOL ok = ReadFile(hostHandle<HANDLE>(c.arg(0)), buffer.data(), c.arg(2), &done, nullptr);
  write(c.arg(1), buffer.substr(0, done));
  if (c.arg(3)) write32(c.arg(3), done);
  return static_cast<std::uint32_t>(ok);
}

std::uint32_t closeHandle(const Call &c) {
  if (closeRuntimeHandle(c.arg(0))) return TRUE;
  return static_cast<std::uint32_t>(CloseHandle(hostHandle<HANDLE>(c.arg(0))));
}

std::uint32_t expandEnvironmentStringsA(const Call &c) {
  DWORD size = c.arg(2);
  std::string buffer(c.arg(1) ? size : 0, '\0');
  DWORD needed =
      ExpandEnvironmentStringsA(Text(c.arg(0)).get(), c.arg(1) ? buffer.data() : nullptr, size);
  if (c.arg(1) && needed <= size) write(c.arg(1), buffer.substr(0, needed));
  return needed;
}

std::uint32_t openProcess(const Call &c) {
  return guestHandle(OpenProcess(c.arg(0), static_cast<BOOL>(c.arg(1)), c.arg(2)));
}

// The address is a 32-bit value: the player's memory as a 32-bit process sees it.
std::uint32_t readProcessMemory(const Call &c) {
  std::string buffer(c.arg(3), '\0');
  SIZE_T done = 0;
  BOOL ok = ReadProcessMemory(hostHandle<HANDLE>(c.arg(0)),
                              reinterpret_cast<LPCVOID>(std::uintptr_t{c.arg(1)}), buffer.data(),
                              buffer.size(), &done);
  write(c.arg(2), buffer.substr(0, done));
  if (c.arg(4)) write32(c.arg(4), static_cast<std::uint32_t>(done));
  return static_cast<std::uint32_t>(ok);
}

std::uint32_t getCurrentProcess(const Call &) {
  return guestHandle(GetCurrentProcess());
}

std::uint32_t isWow64Process(const Call &c) {
  BOOL wow64 = FALSE;
  BOOL ok = IsWow64Process(hostHandle<HANDLE>(c.arg(0)), &wow64);
  if (ok) write32(c.arg(1), static_cast<std::uint32_t>(wow64));
  return static_cast<std::uint32_t>(ok);
}

std::uint32_t openFileMappingA(const Call &c) {
  return guestHandle(OpenFileMappingA(c.arg(0), static_cast<BOOL>(c.arg(1)), Text(c.arg(2)).get()));
}

// The view's bytes are copied into guest memory that ends at an unmapped page and may only be
// read, as the guest asked for a view to read.
std::uint32_t mapViewOfFile(const Call &c) {
  if (state().view) throw Fault("a second view of a file mapping while the first is mapped");
  LPVOID view = MapViewOfFile(hostHandle<HANDLE>(c.arg(0)), c.arg(1), c.arg(2), c.arg(3), c.arg(4));
  if (!view) return 0;
  SIZE_T size = sim::viewSize(view);
  Addr guest = placeAtPageEnd(viewWindowEnd, {static_cast<const char *>(view), size});
  protect(guest - guest % pageSize, viewWindowEnd - (guest - guest % pageSize), UC_PROT_READ);
  state().view = guest;
  state().hostView = view;
  return guest;
}

std::uint32_t unmapViewOfFile(const Call &c) {
  if (!state().view || c.arg(0) != state().view) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  state().view = 0;
  return static_cast<std::uint32_t>(UnmapViewOfFile(std::exchange(state().hostView, nullptr)));
}

// The DLL's own module stands for the plug-in's module of the simulated Win32.
HMODULE hostModule(std::uint32_t guest) {
  return guest && guest == state().module ? thisModule() : hostHandle<HMODULE>(guest);
}

// Null is the DLL itself here, as the runtime stand-ins take it (runtime.cpp).
std::uint32_t getModuleHandleA(const Call &c) {
  if (!c.arg(0)) return state().module;
  HMODULE module = GetModuleHandleA(Text(c.arg(0)).get());
  return module == thisModule() ? state().module : guestHandle(module);
}

std::uint32_t getModuleFileNameW(const Call &c) {
  DWORD size = c.arg(2);
  std::wstring buffer(size, L'\0');
  DWORD length = GetModuleFileNameW(hostModule(c.arg(0)), buffer.data(), size);
  // A name cut to the buffer's size comes without its terminator.
  if (length) writeWide(c.arg(1), buffer.substr(0, length < size ? length + 1 : size));
  return length;
}

std::uint32_t getSystemDirectoryW(const Call &c) {
  UINT size = c.arg(1);
  std::wstring buffer(size, L'\0');
  UINT length = GetSystemDirectoryW(buffer.data(), size);
  if (length < size) writeWide(c.arg(0), buffer.substr(0, length + 1));
  return length;
}

const Binding &kernel32Binding(const std::string &name) {
  for (const Binding &b : win32Bindings())
    if (std::string_view(b.dll) == "kernel32.dll" && name == b.name) return b;
  for (const Binding &b : combaseBindings())
    if (name == b.name) return b;
  throw Fault("GetProcAddress of " + name + ", which has no binding");
}

// A function of the simulated kernel32, at a guest address that is made when it is first asked
// for; null where the simulated Win32 has none, as on Windows before XP SP2 for IsWow64Process.
std::uint32_t getProcAddress(const Call &c) {
  if (c.arg(1) <= 0xFFFF) throw Fault("GetProcAddress by ordinal " + std::to_string(c.arg(1)));
  std::string name = readCString(c.arg(1));
  if (!GetProcAddress(hostModule(c.arg(0)), name.c_str())) return 0;
  auto known = state().procedures.find(name);
  if (known != state().procedures.end()) return known->second;
  const Binding &b = kernel32Binding(name);
  Addr address =
      addHostRoutine(std::string(b.dll) + "!" + name, b.convention, b.argumentCount, b.routine);
  state().procedures[name] = address;
  return address;
}
} // namespace

const std::vector<Binding> &kernel32Bindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"kernel32.dll", "CompareStringA", w, 6, withLastError<compareStringA>, 0},
      {"kernel32.dll", "MultiByteToWideChar", w, 6, withLastError<multiByteToWideChar>, 0},
      {"kernel32.dll", "WideCharToMultiByte", w, 8, withLastError<wideCharToMultiByte>, 0},
      {"kernel32.dll", "Sleep", w, 1, withLastError<sleep>, 0},
      {"kernel32.dll", "GetSystemTimeAsFileTime", w, 1, getSystemTimeAsFileTime, 0},
      {"kernel32.dll", "CreateFileA", w, 7, withLastError<createFileA>, 0},
      {"kernel32.dll", "CreateFileW", w, 7, withLastError<createFileW>, 0},
      {"kernel32.dll", "GetFileSize", w, 2, withLastError<getFileSize>, 0},
      {"kernel32.dll", "ReadFile", w, 5, withLastError<readFile>, 0},
      {"kernel32.dll", "CloseHandle", w, 1, withLastError<closeHandle>, 0},
      {"kernel32.dll", "ExpandEnvironmentStringsA", w, 3, withLastError<expandEnvironmentStringsA>,
       0},
      {"kernel32.dll", "OpenProcess", w, 3, withLastError<openProcess>, 0},
      {"kernel32.dll", "ReadProcessMemory", w, 5, withLastError<readProcessMemory>, 0},
      {"kernel32.dll", "GetCurrentProcess", w, 0, withLastError<getCurrentProcess>, 0},
      {"kernel32.dll", "GetModuleHandleA", w, 1, withLastError<getModuleHandleA>, 0},
      {"kernel32.dll", "GetProcAddress", w, 2, withLastError<getProcAddress>, 0},
      {"kernel32.dll", "GetModuleFileNameW", w, 3, withLastError<getModuleFileNameW>, 0},
      {"kernel32.dll", "GetSystemDirectoryW", w, 2, withLastError<getSystemDirectoryW>, 0},
      {"kernel32.dll", "OpenFileMappingA", w, 3, withLastError<openFileMappingA>, 0},
      {"kernel32.dll", "MapViewOfFile", w, 5, withLastError<mapViewOfFile>, 0},
      {"kernel32.dll", "UnmapViewOfFile", w, 1, withLastError<unmapViewOfFile>, 0},
      // Imported by no DLL: GetProcAddress hands it out.
      {"kernel32.dll", "IsWow64Process", w, 2, withLastError<isWow64Process>, 0},
  };
  return bindings;
}
} // namespace emu::win32
