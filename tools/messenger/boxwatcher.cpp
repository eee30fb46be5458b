#include "boxwatcher.h"

#include "handles.h"
#include "transcript.h"

#include <string>
#include <vector>

namespace {

constexpr DWORD pollMs = 50;
constexpr DWORD closeRetryMs = 2000;
// The static control that holds a message box's text.
constexpr int boxTextId = 0xFFFF;

struct SeenBox {
  HWND window = nullptr;
  ULONGLONG firstSeen = 0;
  ULONGLONG closeSent = 0;
};

struct Watch {
  HWND messenger = nullptr;
  DWORD closeAfterMs = 0;
  Handle stop;
  Handle thread;
  std::vector<SeenBox> boxes;
};

Watch watch;

std::string classOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  return name;
}

std::string textOf(HWND window) {
  char text[2048] = {};
  const int n = GetWindowTextA(window, text, sizeof text);
  return std::string(text, static_cast<std::size_t>(n > 0 ? n : 0));
}

BOOL CALLBACK collectBox(HWND window, LPARAM found) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(window) && classOf(window) == "#32770") {
    reinterpret_cast<std::vector<HWND> *>(found)->push_back(window);
  }
  return TRUE;
}

struct BoxParts {
  std::string text;
  std::string icon = "none";
  std::string buttons;
};

BOOL CALLBACK collectPart(HWND child, LPARAM partsAddress) {
  auto &parts = *reinterpret_cast<BoxParts *>(partsAddress);
  const std::string cls = classOf(child);
  const LONG style = GetWindowLongA(child, GWL_STYLE);
  if (cls == "Static" && (style & SS_TYPEMASK) == SS_ICON) {
    const auto icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    const struct {
      LPCSTR id;
      const char *name;
    } known[] = {{IDI_HAND, "hand"},
                 {IDI_EXCLAMATION, "exclamation"},
                 {IDI_ASTERISK, "asterisk"},
                 {IDI_QUESTION, "question"}};
    parts.icon = icon ? "other" : "none";
    for (const auto &k : known) {
      if (icon && icon == LoadIconA(nullptr, k.id)) parts.icon = k.name;
    }
  } else if (cls == "Static" && parts.text.empty() && GetDlgCtrlID(child) != boxTextId) {
    parts.text = textOf(child);
  } else if (cls == "Button" && IsWindowVisible(child)) {
    if (!parts.buttons.empty()) parts.buttons += ",";
    parts.buttons += std::to_string(GetDlgCtrlID(child));
  }
  return TRUE;
}

void report(HWND box) {
  BoxParts parts;
  EnumChildWindows(box, collectPart, reinterpret_cast<LPARAM>(&parts));
  if (HWND text = GetDlgItem(box, boxTextId)) parts.text = textOf(text);
  const auto style = static_cast<std::uint32_t>(GetWindowLongA(box, GWL_STYLE));
  const auto exStyle = static_cast<std::uint32_t>(GetWindowLongA(box, GWL_EXSTYLE));
  const HWND owner = GetWindow(box, GW_OWNER);
  std::string line =
      "box " + textField("caption", textOf(box)) + " " + textField("text", parts.text) +
      " style=" + hex32(style) + " exstyle=" + hex32(exStyle) +
      " topmost=" + ((exStyle & WS_EX_TOPMOST) ? "yes" : "no") + " icon=" + parts.icon +
      " buttons=" + parts.buttons + " owner=" +
      (owner ? hex32(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(owner)))
             : std::string("none"));
  if (watch.messenger) {
    line += std::string(" messenger-window=") +
            (IsWindowEnabled(watch.messenger) ? "enabled" : "disabled");
  }
  note(line);
}

DWORD WINAPI watchBoxes(LPVOID) {
  while (WaitForSingleObject(watch.stop.get(), pollMs) == WAIT_TIMEOUT) {
    std::vector<HWND> found;
    EnumWindows(collectBox, reinterpret_cast<LPARAM>(&found));
    const ULONGLONG now = GetTickCount64();
    std::vector<SeenBox> still;
    for (const HWND box : found) {
      SeenBox seen{box, now, 0};
      for (const SeenBox &s : watch.boxes) {
        if (s.window == box) seen = s;
      }
      if (seen.closeSent == 0 && now - seen.firstSeen >= watch.closeAfterMs) {
        report(box);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        seen.closeSent = now;
      } else if (seen.closeSent != 0 && now - seen.closeSent >= closeRetryMs) {
        // A box without an OK button ignores IDOK; closing it is what a person would do.
        PostMessageA(box, WM_CLOSE, 0, 0);
        seen.closeSent = now;
        note("box-still-open; WM_CLOSE sent");
      }
      still.push_back(seen);
    }
    for (const SeenBox &s : watch.boxes) {
      bool open = false;
      for (const HWND box : found) open = open || box == s.window;
      if (!open) note("box-closed after=" + std::to_string(now - s.firstSeen) + "ms");
    }
    watch.boxes = still;
  }
  return 0;
}

} // namespace

void startBoxWatcher(HWND messengerWindow, DWORD closeAfterMs) {
  watch.messenger = messengerWindow;
  watch.closeAfterMs = closeAfterMs;
  watch.stop.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  watch.thread.reset(CreateThread(nullptr, 0, watchBoxes, nullptr, 0, nullptr));
}

void stopBoxWatcher() {
  if (!watch.thread) return;
  SetEvent(watch.stop.get());
  WaitForSingleObject(watch.thread.get(), INFINITE);
  watch.thread.reset();
  watch.stop.reset();
}
