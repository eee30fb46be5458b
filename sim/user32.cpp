// user32 of the simulated Win32: windows, messages sent to them, boxes, the module's icons.
#include "machine.h"
#include <algorithm>
#include <cstring>

namespace {
SimWindow *liveWindow(HWND window) {
  for (auto &w : machine().windows)
    if (w.get() == window) return w.get();
  return nullptr;
}

// Class names compare without letter case, as on Windows; nothing is allocated, so that the
// benchmarks count only the plug-in's own allocations.
bool sameClass(std::string_view a, std::string_view b) {
  auto folded = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return folded(x) == folded(y); });
}
} // namespace

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  for (auto &w : machine().windows) {
    if (className && !sameClass(w->className, className)) continue;
    if (windowName && w->caption != windowName) continue;
    return w.get();
  }
  return nullptr;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  if (maxCount <= 0) return 0;
  text[0] = '\0';
  SimWindow *w = liveWindow(window);
  if (!w) return 0;
  int n = std::min<int>(static_cast<int>(w->caption.size()), maxCount - 1);
  std::memcpy(text, w->caption.data(), static_cast<std::size_t>(n));
  text[n] = '\0';
  return n;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  machine().sent.push_back({window, message, wParam, lParam, false, 0, 0});
  SimWindow *w = liveWindow(window);
  if (!w) return 0;
  if (w->hung) {
    // The real call would never come back; make that impossible to miss.
    machine().waitedOnHungMs += 0xFFFFFFFFu;
    return 0;
  }
  return w->proc ? w->proc(message, wParam, lParam) : 0;
}

LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, PDWORD_PTR result) {
  machine().sent.push_back({window, message, wParam, lParam, true, flags, timeout});
  SimWindow *w = liveWindow(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->refusing) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  if (w->hung) {
    if (!(flags & SMTO_ABORTIFHUNG)) machine().waitedOnHungMs += timeout;
    SetLastError(ERROR_TIMEOUT);
    return 0;
  }
  LRESULT answer = w->proc ? w->proc(message, wParam, lParam) : 0;
  if (result) *result = static_cast<DWORD_PTR>(answer);
  return 1;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  auto id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
  auto &m = machine();
  if (instance != thisModule() ||
      std::find(m.moduleIcons.begin(), m.moduleIcons.end(), id) == m.moduleIcons.end())
    return nullptr;
  // Handles come from static storage, which lies below 4 GiB like the messenger's own.
  static SimIcon pool[4096];
  HICON handle = &pool[m.loadedIcons++ % 4096];
  handle->id = id;
  m.icons[handle] = id;
  return handle;
}

BOOL DestroyIcon(HICON icon) {
  return machine().icons.erase(icon) ? TRUE : FALSE;
}
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  machine().boxes.push_back({owner, text ? text : "", caption ? caption : "", type});
  return 1;
}

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  if (!liveWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  DWORD id = sim::processIdOf(window);
  if (processId) *processId = id;
  return id + 4; // the thread's id
}

namespace sim {
HWND addWindow(const std::string &className, const std::string &caption, WindowProc proc) {
  auto w = std::make_unique<SimWindow>(SimWindow{className, caption, std::move(proc)});
  HWND handle = w.get();
  machine().windows.push_back(std::move(w));
  return handle;
}

void removeWindow(HWND window) {
  auto &ws = machine().windows;
  ws.erase(std::remove_if(ws.begin(), ws.end(), [&](auto &w) { return w.get() == window; }),
           ws.end());
  machine().windowProcesses.erase(window);
}

void setCaption(HWND window, const std::string &caption) {
  if (SimWindow *w = liveWindow(window)) w->caption = caption;
}
void setHung(HWND window, bool hung) {
  if (SimWindow *w = liveWindow(window)) w->hung = hung;
}
void setRefusing(HWND window, bool refusing) {
  if (SimWindow *w = liveWindow(window)) w->refusing = refusing;
}
std::vector<SentMessage> &sentMessages() {
  return machine().sent;
}
std::uint64_t &waitedOnHungMs() {
  return machine().waitedOnHungMs;
}
std::vector<MessageBoxCall> &messageBoxes() {
  return machine().boxes;
}
int liveIcons() {
  return static_cast<int>(machine().icons.size());
}
int loadedIcons() {
  return machine().loadedIcons;
}
void setModuleIcons(const std::vector<int> &ids) {
  machine().moduleIcons = ids;
}

int iconIdOf(HICON icon) {
  auto &icons = machine().icons;
  auto i = icons.find(icon);
  return i == icons.end() ? 0 : i->second;
}
} // namespace sim
