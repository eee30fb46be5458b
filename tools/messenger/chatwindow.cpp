#include "chatwindow.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace {

constexpr int buttonSize = 26;
constexpr int margin = 4;
constexpr int firstControlId = 1000;
constexpr int chatLogId = 100;
constexpr int titleId = 101;

struct ToolbarButton {
  std::int32_t id = 0;
  int controlId = 0;
  HWND control = nullptr;
  IconPtr icon;
};

HWND mainWindow = nullptr;
HWND tooltip = nullptr;
HWND title = nullptr;
HWND chatLog = nullptr;
ButtonClick clickHandler = nullptr;
std::vector<ToolbarButton> toolbar;
int nextControlId = firstControlId;

// The plug-in's texts are Windows-1251 whatever the system's code page is.
std::wstring fromCp1251(std::string_view text) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(1251, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(1251, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

TTTOOLINFOW toolInfo(HWND control, std::wstring &text) {
  TTTOOLINFOW info{};
  info.cbSize = TTTOOLINFOW_V2_SIZE;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = mainWindow;
  info.uId = reinterpret_cast<UINT_PTR>(control);
  info.lpszText = text.data();
  return info;
}

void layout() {
  int x = margin;
  for (const ToolbarButton &b : toolbar) {
    MoveWindow(b.control, x, margin, buttonSize, buttonSize, TRUE);
    x += buttonSize + 2;
  }
  RECT client{};
  GetClientRect(mainWindow, &client);
  const int titleTop = margin * 2 + buttonSize;
  MoveWindow(title, margin, titleTop, client.right - 2 * margin, 18, TRUE);
  const int logTop = titleTop + 22;
  MoveWindow(chatLog, margin, logTop, client.right - 2 * margin, client.bottom - logTop - margin,
             TRUE);
}

void showIcon(const ToolbarButton &b) {
  SendMessageW(b.control, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(b.icon.get()));
}

ToolbarButton *findButton(std::int32_t buttonId) {
  for (ToolbarButton &b : toolbar) {
    if (b.id == buttonId) return &b;
  }
  return nullptr;
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_COMMAND:
    for (const ToolbarButton &b : toolbar) {
      if (b.controlId == LOWORD(wParam) && HIWORD(wParam) == BN_CLICKED) {
        // The handler may remove buttons; keep the id, not the row.
        const std::int32_t id = b.id;
        if (clickHandler) clickHandler(id);
        return 0;
      }
    }
    break;
  case WM_SIZE:
    layout();
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  default:
    break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

HWND createChatWindow(HINSTANCE instance, std::int32_t contact, ButtonClick onClick) {
  clickHandler = onClick;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"QuibReferenceMessenger";
  RegisterClassW(&windowClass);

  mainWindow =
      CreateWindowExW(0, windowClass.lpszClassName, L"Reference messenger", WS_OVERLAPPEDWINDOW, 40,
                      40, 520, 240, nullptr, nullptr, instance, nullptr);
  const auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
  title = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, mainWindow,
                          reinterpret_cast<HMENU>(titleId), instance, nullptr);
  chatLog = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0, 0, 0,
      mainWindow, reinterpret_cast<HMENU>(chatLogId), instance, nullptr);
  SendMessageW(title, WM_SETFONT, font, FALSE);
  SendMessageW(chatLog, WM_SETFONT, font, FALSE);
  tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, mainWindow,
                            nullptr, instance, nullptr);
  setChatContact(contact);
  layout();
  ShowWindow(mainWindow, SW_SHOWNORMAL);
  UpdateWindow(mainWindow);
  return mainWindow;
}

void setChatContact(std::int32_t contact) {
  SetWindowTextW(title, (L"Chat with contact " + std::to_wstring(contact)).c_str());
  SetWindowTextW(mainWindow,
                 (L"Reference messenger - chat with " + std::to_wstring(contact)).c_str());
}

void addToolbarButton(std::int32_t buttonId, IconPtr icon, std::string_view hint) {
  ToolbarButton b;
  b.id = buttonId;
  b.controlId = nextControlId++;
  b.control = CreateWindowExW(0, L"BUTTON", icon ? L"" : L"?",
                              WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON | (icon ? BS_ICON : 0), 0, 0,
                              buttonSize, buttonSize, mainWindow,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(b.controlId)),
                              GetModuleHandleW(nullptr), nullptr);
  b.icon = std::move(icon);
  showIcon(b);
  std::wstring text = fromCp1251(hint);
  TTTOOLINFOW info = toolInfo(b.control, text);
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
  toolbar.push_back(std::move(b));
  layout();
}

bool updateToolbarButton(std::int32_t buttonId, IconPtr icon, std::string_view hint) {
  ToolbarButton *b = findButton(buttonId);
  if (!b) return false;
  LONG_PTR style = GetWindowLongPtrW(b->control, GWL_STYLE);
  style = icon ? (style | BS_ICON) : (style & ~static_cast<LONG_PTR>(BS_ICON));
  SetWindowLongPtrW(b->control, GWL_STYLE, style);
  SetWindowTextW(b->control, icon ? L"" : L"?");
  // The control shows the new icon before the old one is destroyed.
  IconPtr old = std::move(b->icon);
  b->icon = std::move(icon);
  showIcon(*b);
  std::wstring text = fromCp1251(hint);
  TTTOOLINFOW info = toolInfo(b->control, text);
  SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  InvalidateRect(b->control, nullptr, TRUE);
  return true;
}

bool removeToolbarButton(std::int32_t buttonId) {
  for (auto it = toolbar.begin(); it != toolbar.end(); ++it) {
    if (it->id != buttonId) continue;
    std::wstring none;
    TTTOOLINFOW info = toolInfo(it->control, none);
    SendMessageW(tooltip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    DestroyWindow(it->control);
    toolbar.erase(it);
    layout();
    return true;
  }
  return false;
}

HWND toolbarButtonControl(std::int32_t buttonId) {
  const ToolbarButton *b = findButton(buttonId);
  return b ? b->control : nullptr;
}

void appendChatLine(std::string_view text) {
  const std::wstring line = fromCp1251(text) + L"\r\n";
  const int end = GetWindowTextLengthW(chatLog);
  SendMessageW(chatLog, EM_SETSEL, static_cast<WPARAM>(end), end);
  SendMessageW(chatLog, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line.c_str()));
}
