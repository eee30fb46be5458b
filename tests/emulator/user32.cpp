// user32's functions the plug-in imports, served by the simulated user32: windows, messages,
// boxes and icons.
#include "tests/emulator/win32.h"

namespace emu::win32 {
namespace {
std::uint32_t findWindowA(const Call &c) {
  return guestHandle(FindWindowA(Text(c.arg(0)).get(), Text(c.arg(1)).get()));
}

std::uint32_t getWindowTextA(const Call &c) {
  int maxCount = signedArg(c, 2);
  std::string buffer(maxCount > 0 ? static_cast<std::size_t>(maxCount) : 0, '\0');
  int n = GetWindowTextA(hostHandle<HWND>(c.arg(0)), buffer.data(), maxCount);
  if (maxCount > 0) write(c.arg(1), buffer.substr(0, static_cast<std::size_t>(n) + 1));
  return static_cast<std::uint32_t>(n);
}

std::uint32_t sendMessageTimeoutA(const Call &c) {
  Addr result = c.arg(6);
  DWORD_PTR answer = result ? read32(result) : 0;
  LRESULT sent =
      SendMessageTimeoutA(hostHandle<HWND>(c.arg(0)), c.arg(1), WPARAM{c.arg(2)},
                          LPARAM{signedArg(c, 3)}, c.arg(4), c.arg(5), result ? &answer : nullptr);
  if (result) write32(result, static_cast<std::uint32_t>(answer));
  return static_cast<std::uint32_t>(sent);
}

std::uint32_t loadIconA(const Call &c) {
  HINSTANCE instance = c.arg(0) == state().module ? thisModule() : hostHandle<HINSTANCE>(c.arg(0));
  return guestHandle(LoadIconA(instance, MAKEINTRESOURCEA(c.arg(1))));
}
std::uint32_t destroyIcon(const Call &c) {
  return static_cast<std::uint32_t>(DestroyIcon(hostHandle<HICON>(c.arg(0))));
}
std::uint32_t messageBoxA(const Call &c) {
  return static_cast<std::uint32_t>(MessageBoxA(hostHandle<HWND>(c.arg(0)), Text(c.arg(1)).get(),
                                                Text(c.arg(2)).get(), c.arg(3)));
}

std::uint32_t getWindowThreadProcessId(const Call &c) {
  DWORD processId = 0;
  DWORD thread = GetWindowThreadProcessId(hostHandle<HWND>(c.arg(0)), &processId);
  if (thread && c.arg(1)) write32(c.arg(1), processId);
  return thread;
}
} // namespace

const std::vector<Binding> &user32Bindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"user32.dll", "FindWindowA", w, 2, withLastError<findWindowA>, 0},
      {"user32.dll", "GetWindowTextA", w, 3, withLastError<getWindowTextA>, 0},
      {"user32.dll", "SendMessageTimeoutA", w, 7, withLastError<sendMessageTimeoutA>, 0},
      {"user32.dll", "LoadIconA", w, 2, withLastError<loadIconA>, 0},
      {"user32.dll", "DestroyIcon", w, 1, withLastError<destroyIcon>, 0},
      {"user32.dll", "MessageBoxA", w, 4, withLastError<messageBoxA>, 0},
      {"user32.dll", "GetWindowThreadProcessId", w, 2, withLastError<getWindowThreadProcessId>, 0},
  };
  return bindings;
}
} // namespace emu::win32
