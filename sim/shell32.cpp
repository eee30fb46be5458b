// shell32 of the simulated Win32: ShellExecuteA recorded, and what tests have it bring about.
#include "machine.h"

HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT showCommand) {
  auto &m = machine();
  m.shell.push_back({owner, operation ? operation : "", file ? file : "",
                     parameters ? parameters : "", directory ? directory : "", showCommand});
  if (m.onShell) m.onShell(m.shell.back());
  return reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
}

std::vector<sim::ShellCall> &sim::shellCalls() {
  return machine().shell;
}
std::function<void(const sim::ShellCall &)> &sim::onShellExecute() {
  return machine().onShell;
}
