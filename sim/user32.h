// user32 of the simulated Win32, a part of win32sim.h: windows, messages, boxes, icons.
inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_USER = 0x0400;
inline constexpr UINT SMTO_NORMAL = 0x0000;
inline constexpr UINT SMTO_BLOCK = 0x0001;
inline constexpr UINT SMTO_ABORTIFHUNG = 0x0002;
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONHAND = 0x00000010;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_TASKMODAL = 0x00002000;
inline constexpr UINT MB_TOPMOST = 0x00040000;

inline LPCSTR MAKEINTRESOURCEA(std::uintptr_t id) {
  return reinterpret_cast<LPCSTR>(id);
}

HWND FindWindowA(LPCSTR className, LPCSTR windowName);
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, PDWORD_PTR result);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL DestroyIcon(HICON icon);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);

namespace sim {
using WindowProc = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

HWND addWindow(const std::string &className, const std::string &caption, WindowProc proc);
void removeWindow(HWND window);
void setCaption(HWND window, const std::string &caption);
// A hung window answers no message: a bounded send returns after its time limit with 0.
void setHung(HWND window, bool hung);
// A window of a process with higher rights refuses every message with ERROR_ACCESS_DENIED.
void setRefusing(HWND window, bool refusing);

struct SentMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool bounded; // sent with a time limit
  UINT flags;
  UINT timeout;
};
std::vector<SentMessage> &sentMessages();
// Milliseconds the messenger's thread would have waited on hung windows.
std::uint64_t &waitedOnHungMs();

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT flags;
};
std::vector<MessageBoxCall> &messageBoxes();

int liveIcons();
int loadedIcons();
// The icon ids the plug-in's module holds.
void setModuleIcons(const std::vector<int> &ids);
int iconIdOf(HICON icon);
} // namespace sim
