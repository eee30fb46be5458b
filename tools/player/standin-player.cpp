// The stand-in player: a top-level window of the player's class and caption that answers the
// player's state and track queries, keeps the state its commands change, holds a playlist whose
// titles lie in its own memory, can scroll its caption as the player does in the taskbar, and
// writes every request and command it receives to a log that tests read, flushed line by line.
#include "standin-player.h"
#include "standin.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *dialogClass = "StandinOpenFiles";

enum Command : WPARAM {
  openFiles = 40029,
  previous = 40044,
  pauseResume = 40046,
  next = 40048,
  forward5 = 40060,
  rewind5 = 40061,
};

enum Request : LPARAM {
  start = 102,
  state = 104,
  trackTime = 105,
  setVolume = 122,
  playlistIndex = 125,
  trackInfo = 126,
  playlistTitle = 212,
};

// The caption's text moves one character at every tick of this timer while it scrolls.
constexpr UINT_PTR scrollTimer = 1;

const char *stateName(State s) {
  switch (s) {
  case playing:
    return "playing";
  case paused:
    return "paused";
  default:
    return "stopped";
  }
}

std::string currentTitle() {
  const std::size_t index = static_cast<std::size_t>(player.number - 1);
  return player.number >= 1 && index < player.playlist.size() ? player.playlist[index]
                                                              : player.track;
}

// foobar2000's imitation of Winamp counts its entries from 0 and shows no state.
std::string caption() {
  const int shown = player.foobar ? player.number - 1 : player.number;
  std::string text = std::to_string(shown) + ". " + currentTitle() + " - Winamp";
  if (player.foobar) return text;
  if (player.state == paused) text += " [Paused]";
  if (player.state == stopped) text += " [Stopped]";
  return text;
}

// The text in the window's title bar: the caption, or while it scrolls the caption and " *** "
// turned round by the characters scrolled so far.
std::string windowText() {
  if (!player.scrollMs) return caption();
  const std::string loop = caption() + " *** ";
  const std::size_t at = player.scrolled % loop.size();
  return loop.substr(at) + loop.substr(0, at);
}

void showState() {
  if (!player.window) return;
  SetWindowTextA(player.window, windowText().c_str());
  InvalidateRect(player.window, nullptr, TRUE);
}

std::string stateFields() {
  return std::string("state=") + stateName(player.state) +
         " track=" + std::to_string(player.number) + " caption=" + quoted(caption());
}

// A file dialog that the user closes after a while: the command returns only then.
void runOpenDialog() {
  HWND dialog = CreateWindowExA(WS_EX_TOPMOST, dialogClass, "Open file(s)",
                                WS_POPUP | WS_CAPTION | WS_VISIBLE, 120, 120, 240, 80,
                                player.window, nullptr, GetModuleHandleA(nullptr), nullptr);
  EnableWindow(player.window, FALSE);
  const ULONGLONG until = GetTickCount64() + player.openDialogMs;
  for (ULONGLONG now = GetTickCount64(); now < until; now = GetTickCount64()) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
  EnableWindow(player.window, TRUE);
  DestroyWindow(dialog);
}

LRESULT onRequest(WPARAM wParam, LPARAM lParam) {
  const std::string head =
      "WM_USER lParam=" + std::to_string(lParam) + " wParam=" + std::to_string(wParam);
  switch (lParam) {
  case state:
    logLine(head + " request=state answer=" + std::to_string(player.state));
    return player.state;
  case trackInfo: {
    const int answer = wParam == 0   ? player.sampleRate
                       : wParam == 1 ? player.bitRate
                       : wParam == 2 ? player.channels
                                     : 0;
    const char *what = wParam == 0   ? "samplerate"
                       : wParam == 1 ? "bitrate"
                       : wParam == 2 ? "channels"
                                     : "unknown";
    logLine(head + " request=info-" + what + " answer=" + std::to_string(answer));
    return answer;
  }
  case trackTime: {
    const int answer = wParam == 0 ? player.position * 1000 : wParam == 1 ? player.length : 0;
    const char *what = wParam == 0 ? "position" : wParam == 1 ? "length" : "unknown";
    logLine(head + " request=time-" + what + " answer=" + std::to_string(answer));
    return answer;
  }
  case playlistIndex:
    logLine(head + " request=playlist-index answer=" + std::to_string(player.number - 1));
    return player.number - 1;
  case playlistTitle: {
    const char *title = wParam < player.titles.size() ? player.titles[wParam] : nullptr;
    logLine(head + " request=playlist-title answer=" + hexAddress(title) +
            " title=" + quoted(title ? title : ""));
    return reinterpret_cast<LRESULT>(title);
  }
  case setVolume:
    player.volume = static_cast<int>(wParam);
    logLine(head + " request=volume volume=" + std::to_string(player.volume));
    InvalidateRect(player.window, nullptr, TRUE);
    return 0;
  case start:
    player.state = playing;
    player.position = 0;
    showState();
    logLine(head + " request=start " + stateFields());
    return 0;
  case standinBlockRequest:
    blockFor(head, wParam);
    return 0;
  default:
    logLine(head + " request=unknown answer=0");
    return 0;
  }
}

void onCommand(WPARAM wParam) {
  const std::string head = "WM_COMMAND wParam=" + std::to_string(LOWORD(wParam));
  switch (LOWORD(wParam)) {
  case openFiles:
    logLine(head + " command=open-files dialog-ms=" + std::to_string(player.openDialogMs));
    if (player.openDialogMs) {
      runOpenDialog();
      logLine("open-files dialog closed");
    }
    return;
  case previous:
    if (player.number > 1) --player.number;
    player.position = 0;
    showState();
    logLine(head + " command=previous " + stateFields());
    return;
  case next:
    ++player.number;
    player.position = 0;
    showState();
    logLine(head + " command=next " + stateFields());
    return;
  case pauseResume:
    if (player.state == playing)
      player.state = paused;
    else if (player.state == paused)
      player.state = playing;
    showState();
    logLine(head + " command=pause-resume " + stateFields());
    return;
  case forward5:
    player.position += 5;
    logLine(head + " command=forward5 position=" + std::to_string(player.position));
    InvalidateRect(player.window, nullptr, TRUE);
    return;
  case rewind5:
    player.position = player.position > 5 ? player.position - 5 : 0;
    logLine(head + " command=rewind5 position=" + std::to_string(player.position));
    InvalidateRect(player.window, nullptr, TRUE);
    return;
  default:
    logLine(head + " command=unknown");
    return;
  }
}

void paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  const std::string lines[] = {
      caption(),
      std::string("State: ") + stateName(player.state) + "   Position: " +
          std::to_string(player.position) + " s of " + std::to_string(player.length) + " s",
      "Volume: " + (player.volume < 0 ? std::string("not set") : std::to_string(player.volume)) +
          "   " + std::to_string(player.sampleRate) + " kHz, " + std::to_string(player.bitRate) +
          " kbps, " + std::to_string(player.channels) + " ch"};
  int y = 8;
  for (const std::string &line : lines) {
    TextOutA(dc, 8, y, line.c_str(), static_cast<int>(line.size()));
    y += 18;
  }
  EndPaint(window, &ps);
}

LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_USER:
    return onRequest(wParam, lParam);
  case WM_COMMAND:
    onCommand(wParam);
    return 0;
  case WM_PAINT:
    paint(window);
    return 0;
  case WM_TIMER:
    ++player.scrolled;
    SetWindowTextA(window, windowText().c_str());
    return 0;
  default:
    return closeOrDefault(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);
    TextOutA(dc, 8, 8, "Choosing files...", 17);
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

bool parseState(const std::string &name, State &out) {
  if (name == "playing")
    out = playing;
  else if (name == "paused")
    out = paused;
  else if (name == "stopped")
    out = stopped;
  else
    return false;
  return true;
}

const char *const usage =
    "usage: standin-player [--log FILE] [--state playing|paused|stopped] [--track TEXT]\n"
    "                      [--track-hex HEX] [--number N] [--rate KHZ] [--bitrate KBPS]\n"
    "                      [--channels N] [--position SECONDS] [--length SECONDS]\n"
    "                      [--open-dialog MS] [--start-delay MS] [--window-class NAME]\n"
    "                      [--playlist \"TITLE|TITLE|...\"] [--playlist-hex HEX|HEX|...]\n"
    "                      [--scroll MS] [--decoy TEXT] [--foobar]\n"
    "The current playlist entry is the track's number; --scroll moves the caption one\n"
    "character every MS milliseconds, as the player's taskbar scrolling does. --decoy puts\n"
    "TEXT at each title's address cut to 32 bits, when the titles lie above 4 GiB.\n"
    "--foobar imitates Winamp as foobar2000 does: the caption counts from 0 and shows no\n"
    "state; give it the rate in Hz (--rate 44100) and UTF-8 titles (--playlist-hex).\n"
    "The options may also come from STANDIN_PLAYER_OPTIONS (words separated by spaces),\n"
    "the log from STANDIN_PLAYER_LOG, for a player started without arguments.\n";

} // namespace

Player player;

int main(int argc, char **argv) {
  std::string logPath;
  if (const char *env = std::getenv("STANDIN_PLAYER_LOG")) logPath = env;
  DWORD startDelay = 0;
  std::string args;
  for (int i = 1; i < argc; ++i) args += std::string(i > 1 ? " " : "") + argv[i];
  const std::vector<std::string> opts = options(argc, argv);
  for (std::size_t i = 0; i < opts.size(); ++i) {
    const std::string &o = opts[i];
    const bool hasValue = i + 1 < opts.size();
    const std::string value = hasValue ? opts[i + 1] : std::string();
    bool ok = hasValue;
    if (o == "--log")
      logPath = value;
    else if (o == "--state")
      ok = ok && parseState(value, player.state);
    else if (o == "--track")
      player.track = value;
    else if (o == "--track-hex")
      ok = ok && fromHex(value, player.track);
    else if (o == "--number")
      player.number = std::atoi(value.c_str());
    else if (o == "--rate")
      player.sampleRate = std::atoi(value.c_str());
    else if (o == "--bitrate")
      player.bitRate = std::atoi(value.c_str());
    else if (o == "--channels")
      player.channels = std::atoi(value.c_str());
    else if (o == "--position")
      player.position = std::atoi(value.c_str());
    else if (o == "--length")
      player.length = std::atoi(value.c_str());
    else if (o == "--open-dialog")
      player.openDialogMs = static_cast<DWORD>(std::atoi(value.c_str()));
    else if (o == "--start-delay")
      startDelay = static_cast<DWORD>(std::atoi(value.c_str()));
    else if (o == "--window-class")
      player.windowClass = value;
    else if (o == "--playlist")
      player.playlist = splitTitles(value);
    else if (o == "--playlist-hex")
      ok = ok && playlistFromHex(value);
    else if (o == "--foobar") {
      player.foobar = true;
      continue;
    } else if (o == "--scroll")
      player.scrollMs = static_cast<UINT>(std::atoi(value.c_str()));
    else if (o == "--decoy")
      player.decoy = value;
    else {
      // A file to play, as the shell passes it through the registered open command.
      logLine("file " + quoted(o));
      continue;
    }
    if (!ok) {
      std::fprintf(stderr, "bad or missing value for %s\n%s", o.c_str(), usage);
      return 2;
    }
    ++i;
  }
  if (!logPath.empty()) openLog(logPath);
  // Which copy was started: tests tell the places the plug-in looks in apart by it.
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  logLine("start args=" + quoted(args) + " " + stateFields() +
          " class=" + quoted(player.windowClass) + " exe=" + quoted(exe));
  placePlaylist();
  if (!player.titles.empty())
    logLine("playlist entries=" + std::to_string(player.titles.size()) +
            " memory=" + hexAddress(player.titles[0]) + " decoy=" + placeDecoy());
  if (startDelay) Sleep(startDelay);

  const HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = player.windowClass.c_str();
  RegisterClassA(&windowClass);
  WNDCLASSA dialog = windowClass;
  dialog.lpfnWndProc = dialogProc;
  dialog.lpszClassName = dialogClass;
  RegisterClassA(&dialog);

  player.window =
      CreateWindowExA(0, player.windowClass.c_str(), caption().c_str(), WS_OVERLAPPEDWINDOW, 620,
                      40, 380, 110, nullptr, nullptr, instance, nullptr);
  ShowWindow(player.window, SW_SHOWNOACTIVATE);
  if (player.scrollMs) SetTimer(player.window, scrollTimer, player.scrollMs, nullptr);
  logLine("window up " + stateFields());
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  logLine("exit");
  return 0;
}
