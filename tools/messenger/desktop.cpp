// What the script does besides the plug-in's events: the window's message loop, other programs'
// windows (the player, a text editor), the mixer and the system's string comparison.
#include "desktop.h"

#include "state.h"
#include "transcript.h"

#include "standin.h"

#include <mmsystem.h>

#include <cstdint>

namespace {

std::string titleOf(HWND window) {
  char title[512] = {};
  const int n = GetWindowTextA(window, title, sizeof title);
  return std::string(title, static_cast<std::size_t>(n > 0 ? n : 0));
}

// The first top-level window of the class that belongs to another process, after the one given.
HWND findOther(const std::string &windowClass, HWND after = nullptr) {
  for (HWND w = FindWindowExA(nullptr, after, windowClass.c_str(), nullptr); w;
       w = FindWindowExA(nullptr, w, windowClass.c_str(), nullptr)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != GetCurrentProcessId()) return w;
  }
  return nullptr;
}

// The text of the window's edit control, if it has one: the file a text editor opened.
std::string editContent(HWND window) {
  HWND edit = FindWindowExA(window, nullptr, "Edit", nullptr);
  if (!edit) return {};
  char text[4096] = {};
  const auto n = SendMessageA(edit, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return " " + textField("content", std::string(text, static_cast<std::size_t>(n > 0 ? n : 0)));
}

} // namespace

void pump(DWORD ms) {
  const ULONGLONG until = GetTickCount64() + ms;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        messenger.windowClosed = true;
        return;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= until) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(until - now), QS_ALLINPUT);
  }
}

void waitWindow(const std::string &windowClass, const std::string &titlePart, DWORD ms) {
  const unsigned long long start = elapsedMs();
  for (;;) {
    HWND window = findOther(windowClass);
    if (window && titleOf(window).find(titlePart) != std::string::npos) {
      DWORD pid = 0;
      GetWindowThreadProcessId(window, &pid);
      note("window " + textField("class", windowClass) + " found " +
           textField("title", titleOf(window)) + editContent(window) +
           " pid=" + std::to_string(pid) + " after=" + std::to_string(elapsedMs() - start) + "ms");
      return;
    }
    if (elapsedMs() - start >= ms || messenger.windowClosed) break;
    pump(50);
  }
  HWND window = findOther(windowClass);
  note("window " + textField("class", windowClass) + " missing " +
       textField("title", window ? titleOf(window) : std::string()) +
       " after=" + std::to_string(elapsedMs() - start) + "ms");
}

void closeWindows(const std::string &windowClass) {
  int count = 0;
  for (HWND w = findOther(windowClass); w; w = findOther(windowClass, w)) {
    PostMessageA(w, WM_CLOSE, 0, 0);
    ++count;
  }
  const unsigned long long start = elapsedMs();
  while (findOther(windowClass) && elapsedMs() - start < 5000) pump(50);
  const bool gone = !findOther(windowClass);
  note("close-window " + textField("class", windowClass) + " asked=" + std::to_string(count) +
       " gone=" + (gone ? "yes" : "no"));
}

void hangPlayer(DWORD ms) {
  HWND player = findOther(playerClass);
  if (!player) {
    note("hang-player ms=" + std::to_string(ms) + " refused=\"no player window\"");
    return;
  }
  PostMessageA(player, WM_USER, ms, standinBlockRequest);
  note("hang-player ms=" + std::to_string(ms));
}

void mixerMute() {
  const auto mixer = reinterpret_cast<HMIXEROBJ>(std::uintptr_t{0});
  MIXERLINEA line{};
  line.cbStruct = sizeof line;
  line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  MIXERCONTROLA control{};
  MIXERLINECONTROLSA controls{};
  controls.cbStruct = sizeof controls;
  controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
  controls.cControls = 1;
  controls.cbmxctrl = sizeof control;
  controls.pamxctrl = &control;
  MIXERCONTROLDETAILS_BOOLEAN value{};
  MIXERCONTROLDETAILS details{};
  details.cbStruct = sizeof details;
  details.cChannels = 1;
  details.cbDetails = sizeof value;
  details.paDetails = &value;
  MMRESULT r = mixerGetLineInfoA(mixer, &line, MIXER_GETLINEINFOF_COMPONENTTYPE);
  if (!r) {
    controls.dwLineID = line.dwLineID;
    r = mixerGetLineControlsA(mixer, &controls, MIXER_GETLINECONTROLSF_ONEBYTYPE);
  }
  if (!r) {
    details.dwControlID = control.dwControlID;
    r = mixerGetControlDetailsA(mixer, &details, MIXER_GETCONTROLDETAILSF_VALUE);
  }
  note(r ? "mixer-mute failed=" + std::to_string(r)
         : "mixer-mute value=" + std::to_string(value.fValue));
}

void where() {
  RECT r{};
  GetWindowRect(messenger.window, &r);
  note("where x=" + std::to_string(r.left) + " y=" + std::to_string(r.top) + " width=" +
       std::to_string(r.right - r.left) + " height=" + std::to_string(r.bottom - r.top));
}

void compareIgnoringCase(const std::string &a, const std::string &b) {
  const auto compare = [&](LCID locale) {
    return std::to_string(CompareStringA(locale, NORM_IGNORECASE, a.data(),
                                         static_cast<int>(a.size()), b.data(),
                                         static_cast<int>(b.size())));
  };
  note("compare locale-0=" + compare(0) + " system-default=" + compare(LOCALE_SYSTEM_DEFAULT));
}
