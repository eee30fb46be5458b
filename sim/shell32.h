// shell32 of the simulated Win32, a part of win32sim.h: ShellExecuteA and ShellExecuteW, which
// start nothing.
inline constexpr int SW_SHOWNORMAL = 1;
HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT showCommand);
HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters,
                        LPCWSTR directory, INT showCommand);

namespace sim {
struct ShellCall {
  HWND owner;
  std::string operation;
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand;
  bool wide = false; // by ShellExecuteW, its texts recorded in UTF-8
};
std::vector<ShellCall> &shellCalls();
// Runs at every ShellExecuteA and ShellExecuteW, e.g. to bring up a player window.
std::function<void(const ShellCall &)> &onShellExecute();
} // namespace sim
