// shell32 of the simulated Win32, a part of win32sim.h: ShellExecuteA, which starts nothing.
inline constexpr int SW_SHOWNORMAL = 1;
HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT showCommand);

namespace sim {
struct ShellCall {
  HWND owner;
  std::string operation;
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand;
};
std::vector<ShellCall> &shellCalls();
// Runs at every ShellExecuteA, e.g. to bring up a player window.
std::function<void(const ShellCall &)> &onShellExecute();
} // namespace sim
