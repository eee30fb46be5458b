#include "player/aimp/window.h"

#include "player/launch.h"
#include "player/window.h"
#include "settings/settings.h"

#include <array>
#include <string>

namespace {

constexpr WPARAM getFlag = 0;
constexpr WPARAM setFlag = 1;

// The program Windows offers in "Open with" for AIMP's files.
constexpr const char *openCommandKey = "Applications\\AIMP.exe\\shell\\open\\command";
// AIMP's folder under Program Files, the 64-bit one first (seen from a 32-bit process only
// through %ProgramW6432%), and under Program Files (x86).
constexpr std::array<const char *, 3> installedPaths{
    "%ProgramW6432%\\AIMP\\AIMP.exe",
    "%ProgramFiles%\\AIMP\\AIMP.exe",
    "%ProgramFiles(x86)%\\AIMP\\AIMP.exe",
};

// The custom path, unless it is only Winamp's default that initialise put in; then AIMP's
// registered program, then its folders.
std::string aimpCandidatePath() {
  const std::string &custom = settings.customPlayer;
  if (custom != defaultPlayer && fileExists(custom)) return custom;
  std::string registered = programPathOf(readOpenCommand(openCommandKey), fileExists);
  if (fileExists(registered)) return registered;
  for (const char *pattern : installedPaths) {
    std::string installed = expandedPath(pattern);
    if (fileExists(installed)) return installed;
  }
  return {};
}

DWORD processOf(HWND window) {
  DWORD id = 0;
  return GetWindowThreadProcessId(window, &id) ? id : 0;
}

} // namespace

HWND findAimpWindow() {
  return FindWindowA(aimpWindowClass, nullptr);
}

HWND acquireAimpWindow() {
  if (HWND window = findAimpWindow()) return window;
  return startPlayer(aimpCandidatePath(), findAimpWindow);
}

bool isAimpsImitation(HWND winampWindow) {
  HWND aimp = findAimpWindow();
  if (!aimp) return false;
  DWORD process = processOf(aimp);
  return process != 0 && process == processOf(winampWindow);
}

PlayerReply askAimp(AimpProperty property) {
  return sendToPlayer(playerWindow, aimpPropertyMessage, property | getFlag, 0);
}

PlayerReply setAimp(AimpProperty property, std::int32_t value) {
  return sendToPlayer(playerWindow, aimpPropertyMessage, property | setFlag, LPARAM{value});
}
