// The stand-in AIMP: its remote-control window of class "AIMP2_RemoteInfo", which takes AIMP's
// commands and answers and sets its properties, and the shared block "AIMP2_RemoteInfo" with the
// current track in UTF-16; with --imitation also a window of Winamp's class in the same process,
// as AIMP shows one. Every message is written to the log that tests read.
#include "standin.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char *aimpClass = "AIMP2_RemoteInfo";
constexpr const char *blockName = "AIMP2_RemoteInfo";
constexpr const char *imitationClass = "Winamp v1.x";
constexpr UINT commandMessage = WM_USER + 0x75;
constexpr UINT propertyMessage = WM_USER + 0x77;
constexpr DWORD blockSize = 2048;
constexpr DWORD headerSize = 88;

enum Command : WPARAM {
  play = 13,
  playPause = 14,
  pause = 15,
  stop = 16,
  next = 17,
  previous = 18,
  openFiles = 26,
};
enum Property : WPARAM { position = 0x20, duration = 0x30, state = 0x40, volume = 0x50 };
enum State : int { stopped = 0, paused = 1, playing = 2 };

struct Aimp {
  State state = playing;
  int positionMs = 0;
  int durationMs = 215000;
  int volume = 50;
  int number = 1;
  int sampleRate = 44100; // Hz, as AIMP gives it
  int bitRate = 320;
  int channels = 2;
  // «Исполнитель», «Песня»
  std::wstring artist = L"\u0418\u0441\u043f\u043e\u043b\u043d\u0438\u0442\u0435\u043b\u044c";
  std::wstring title = L"\u041f\u0435\u0441\u043d\u044f";
  std::wstring fileName = L"C:\\Music\\song.mp3";
  bool block = true;
  bool imitation = false;
  HANDLE mapping = nullptr;
  char *view = nullptr;
  HWND window = nullptr;
};

Aimp aimp;

const char *stateName(int s) {
  return s == playing ? "playing" : s == paused ? "paused" : "stopped";
}

std::string stateFields() {
  return std::string("state=") + stateName(aimp.state) + " track=" + std::to_string(aimp.number) +
         " position=" + std::to_string(aimp.positionMs) + " volume=" + std::to_string(aimp.volume);
}

void putDword(char *at, std::uint32_t value) {
  std::memcpy(at, &value, sizeof value);
}

// The header and the six strings back to back: album, artist, date, file name, genre, title.
void writeBlock() {
  if (!aimp.view) return;
  std::memset(aimp.view, 0, blockSize);
  const std::wstring texts[] = {L"", aimp.artist, L"", aimp.fileName, L"", aimp.title};
  const std::uint32_t header[] = {headerSize,
                                  1,
                                  static_cast<std::uint32_t>(aimp.bitRate),
                                  static_cast<std::uint32_t>(aimp.channels),
                                  static_cast<std::uint32_t>(aimp.durationMs),
                                  0,
                                  0,
                                  0,
                                  static_cast<std::uint32_t>(aimp.sampleRate),
                                  static_cast<std::uint32_t>(aimp.number)};
  for (std::size_t i = 0; i < 10; ++i) putDword(aimp.view + 4 * i, header[i]);
  DWORD at = headerSize;
  for (std::size_t i = 0; i < 6; ++i) {
    const std::wstring &text = texts[i];
    putDword(aimp.view + 40 + 4 * i, static_cast<std::uint32_t>(text.size()));
    std::memcpy(aimp.view + at, text.data(), 2 * text.size());
    at += static_cast<DWORD>(2 * text.size());
  }
}

void openBlock() {
  aimp.mapping =
      CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, blockSize, blockName);
  if (aimp.mapping)
    aimp.view = static_cast<char *>(MapViewOfFile(aimp.mapping, FILE_MAP_WRITE, 0, 0, blockSize));
  logLine(std::string("block ") +
          (aimp.view ? "shared" : "failed error=" + std::to_string(GetLastError())));
  writeBlock();
}

void onCommand(WPARAM command) {
  const std::string head = "AIMP_COMMAND wParam=" + std::to_string(command);
  const char *name = "unknown";
  switch (command) {
  case play:
    name = "play";
    aimp.state = playing;
    break;
  case playPause:
    name = "play-pause";
    aimp.state = aimp.state == playing ? paused : playing;
    break;
  case pause:
    name = "pause";
    if (aimp.state == playing) aimp.state = paused;
    break;
  case stop:
    name = "stop";
    aimp.state = stopped;
    break;
  case next:
    name = "next";
    ++aimp.number;
    aimp.positionMs = 0;
    break;
  case previous:
    name = "previous";
    if (aimp.number > 1) --aimp.number;
    aimp.positionMs = 0;
    break;
  case openFiles:
    name = "open-files";
    break;
  default:
    break;
  }
  writeBlock();
  logLine(head + " command=" + name + " " + stateFields());
  InvalidateRect(aimp.window, nullptr, TRUE);
}

int *settable(WPARAM id) {
  if (id == position) return &aimp.positionMs;
  if (id == volume) return &aimp.volume;
  return nullptr;
}

LRESULT onProperty(WPARAM wParam, LPARAM lParam) {
  const WPARAM id = wParam & ~WPARAM{0xF};
  const char *name = id == position   ? "position"
                     : id == duration ? "duration"
                     : id == state    ? "state"
                     : id == volume   ? "volume"
                                      : "unknown";
  const std::string head = "AIMP_PROPERTY wParam=" + std::to_string(wParam) + " property=" + name;
  if (wParam & 1) {
    int *field = settable(id);
    if (field) *field = static_cast<int>(lParam);
    logLine(head + " set value=" + std::to_string(lParam) + " answer=" + (field ? "1" : "0") + " " +
            stateFields());
    InvalidateRect(aimp.window, nullptr, TRUE);
    return field ? 1 : 0;
  }
  const int answer = id == position   ? aimp.positionMs
                     : id == duration ? aimp.durationMs
                     : id == state    ? aimp.state
                     : id == volume   ? aimp.volume
                                      : 0;
  logLine(head + " get answer=" + std::to_string(answer));
  return answer;
}

void paint(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  const std::wstring track = aimp.artist + L" - " + aimp.title;
  TextOutW(dc, 8, 8, track.c_str(), static_cast<int>(track.size()));
  const std::string line = stateFields();
  TextOutA(dc, 8, 26, line.c_str(), static_cast<int>(line.size()));
  EndPaint(window, &ps);
}

LRESULT CALLBACK aimpProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case commandMessage:
    onCommand(wParam);
    return 0;
  case propertyMessage:
    return onProperty(wParam, lParam);
  case WM_USER:
    if (lParam == standinBlockRequest)
      blockFor("WM_USER lParam=" + std::to_string(lParam) + " wParam=" + std::to_string(wParam),
               wParam);
    return 0;
  case WM_PAINT:
    paint(window);
    return 0;
  default:
    return closeOrDefault(window, message, wParam, lParam);
  }
}

// AIMP's imitation of Winamp: which of Winamp's messages it answers is not known, so it answers
// none and logs each, which tests expect never to see.
LRESULT CALLBACK imitationProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER || message == WM_COMMAND)
    logLine("imitation message=" + std::to_string(message) + " wParam=" + std::to_string(wParam) +
            " lParam=" + std::to_string(lParam));
  return message == WM_USER || message == WM_COMMAND
             ? 0
             : DefWindowProcA(window, message, wParam, lParam);
}

std::wstring wideFromUtf8(const std::string &bytes) {
  std::wstring wide(bytes.size(), L'\0');
  int n = MultiByteToWideChar(CP_UTF8, 0, bytes.data(), static_cast<int>(bytes.size()), wide.data(),
                              static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return wide;
}

bool parseState(const std::string &name) {
  if (name == "playing")
    aimp.state = playing;
  else if (name == "paused")
    aimp.state = paused;
  else if (name == "stopped")
    aimp.state = stopped;
  else
    return false;
  return true;
}

// A UTF-8 text given in hex, as the command line keeps no bytes outside the ANSI code page.
bool wideHex(const std::string &digits, std::wstring &out) {
  std::string bytes;
  if (!fromHex(digits, bytes)) return false;
  out = wideFromUtf8(bytes);
  return true;
}

const char *const usage =
    "usage: standin-aimp [--log FILE] [--state playing|paused|stopped] [--artist-hex UTF8HEX]\n"
    "                    [--title-hex UTF8HEX] [--file-hex UTF8HEX] [--rate HZ]\n"
    "                    [--bitrate KBPS] [--channels N] [--duration MS] [--number N]\n"
    "                    [--volume 0-100] [--start-delay MS] [--no-block] [--imitation]\n"
    "The options may also come from STANDIN_PLAYER_OPTIONS, the log from STANDIN_PLAYER_LOG.\n";

bool parseOption(const std::string &o, const std::string &value, DWORD &startDelay) {
  const int number = std::atoi(value.c_str());
  if (o == "--state") return parseState(value);
  if (o == "--artist-hex") return wideHex(value, aimp.artist);
  if (o == "--title-hex") return wideHex(value, aimp.title);
  if (o == "--file-hex") return wideHex(value, aimp.fileName);
  if (o == "--rate")
    aimp.sampleRate = number;
  else if (o == "--bitrate")
    aimp.bitRate = number;
  else if (o == "--channels")
    aimp.channels = number;
  else if (o == "--duration")
    aimp.durationMs = number;
  else if (o == "--number")
    aimp.number = number;
  else if (o == "--volume")
    aimp.volume = number;
  else if (o == "--start-delay")
    startDelay = static_cast<DWORD>(number);
  else
    return false;
  return true;
}

HWND makeWindow(const char *className, const char *title, WNDPROC proc, HINSTANCE instance) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = className;
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, 620, 160, 380, 80, nullptr,
                         nullptr, instance, nullptr);
}

} // namespace

int main(int argc, char **argv) {
  std::string logPath;
  if (const char *env = std::getenv("STANDIN_PLAYER_LOG")) logPath = env;
  DWORD startDelay = 0;
  const std::vector<std::string> opts = options(argc, argv);
  for (std::size_t i = 0; i < opts.size(); ++i) {
    const std::string &o = opts[i];
    if (o == "--no-block" || o == "--imitation") {
      if (o == "--no-block") aimp.block = false;
      if (o == "--imitation") aimp.imitation = true;
      continue;
    }
    const bool hasValue = i + 1 < opts.size();
    if (o == "--log" && hasValue) {
      logPath = opts[++i];
      continue;
    }
    if (!hasValue || !parseOption(o, opts[i + 1], startDelay)) {
      std::fprintf(stderr, "bad or missing value for %s\n%s", o.c_str(), usage);
      return 2;
    }
    ++i;
  }
  if (!logPath.empty()) openLog(logPath);
  char exe[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, exe, MAX_PATH);
  logLine("start aimp " + stateFields() + " imitation=" + (aimp.imitation ? "yes" : "no") +
          " exe=" + quoted(exe));
  if (startDelay) Sleep(startDelay);
  if (aimp.block) openBlock();
  const HINSTANCE instance = GetModuleHandleA(nullptr);
  aimp.window = makeWindow(aimpClass, aimpClass, aimpProc, instance);
  ShowWindow(aimp.window, SW_SHOWNOACTIVATE);
  if (aimp.imitation) makeWindow(imitationClass, "AIMP", imitationProc, instance);
  logLine("window up " + stateFields());
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  logLine("exit");
  return 0;
}
