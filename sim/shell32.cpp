// shell32 of the simulated Win32: ShellExecuteA and ShellExecuteW recorded, and what tests have
// them bring about.
#include "machine.h"

namespace {
HINSTANCE record(const sim::ShellCall &call) {
  auto &m = machine();
  m.shell.push_back(call);
  if (m.onShell) m.onShell(m.shell.back());
  return reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
}

std::string utf8(LPCWSTR text) {
  return bytesFrom(CP_UTF8, text ? text : L"");
}
} // namespace

HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT showCommand) {
  return record({owner, operation ? operation : "", file ? file : "", parameters ? parameters : "",
                 directory ? directory : "", showCommand});
}

HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, INT showCommand) {
  return record(
      {owner, utf8(operation), utf8(file), utf8(parameters), utf8(directory), showCommand, true});
}

std::vector<sim::ShellCall> &sim::shellCalls() {
  return machine().shell;
}
std::function<void(const sim::ShellCall &)> &sim::onShellExecute() {
  return machine().onShell;
}
