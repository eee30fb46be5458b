// shell32's ShellExecuteA and ShellExecuteW, served by the simulated shell32.
#include "tests/emulator/win32.h"

namespace emu::win32 {
namespace {
std::uint32_t shellExecuteA(const Call &c) {
  HINSTANCE result =
      ShellExecuteA(hostHandle<HWND>(c.arg(0)), Text(c.arg(1)).get(), Text(c.arg(2)).get(),
                    Text(c.arg(3)).get(), Text(c.arg(4)).get(), signedArg(c, 5));
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(result));
}

std::uint32_t shellExecuteW(const Call &c) {
  HINSTANCE result =
      ShellExecuteW(hostHandle<HWND>(c.arg(0)), WideText(c.arg(1)).get(), WideText(c.arg(2)).get(),
                    WideText(c.arg(3)).get(), WideText(c.arg(4)).get(), signedArg(c, 5));
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(result));
}
} // namespace

const std::vector<Binding> &shell32Bindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"shell32.dll", "ShellExecuteA", w, 6, withLastError<shellExecuteA>, 0},
      {"shell32.dll", "ShellExecuteW", w, 6, withLastError<shellExecuteW>, 0},
  };
  return bindings;
}
} // namespace emu::win32
