// The plug-in's entry point: the messenger delivers every event here.
#include "host/QUIB_Ctl.h"

#include "host/buttons.h"
#include "host/requests.h"
#include "host/version.h"
#include "mixer/mute.h"
#include "player/player.h"
#include "settings/settings.h"

#include <cstdint>
#include <string>

namespace {

enum EventCode : std::uint8_t {
  eventInitialise = 1,
  eventFinalise = 2,
  eventPreferences = 3,
  eventMessageReceived = 6,
};

constexpr std::uint8_t pluginEventKind = 3;
constexpr std::string_view answerData = "\x02";
constexpr std::string_view answerHandled = "\x04";
constexpr std::string_view displayName = QUIB_PRODUCT_NAME ", v" QUIB_VERSION;
constexpr std::int32_t interfaceVersion = 4;
constexpr std::wstring_view notepadName = L"\\notepad.exe";
constexpr std::wstring_view currentFoldersSettings = L".\\Plugins\\QUIB_Ctl.ini";

const void *initialise(Record event) {
  hostCallback = reinterpret_cast<HostCallback>(std::uintptr_t{pointerAt(event, 6)});
  parseSettings(readSettingsFile());
  if (settings.customPlayer.empty()) settings.customPlayer = defaultPlayer;
  muteState = false;
  registerButtons();
  return wrapForHost({answerData, packString(displayName), packInt(interfaceVersion)});
}

const void *finalise() {
  // A player's operation may still be waited for on a thread of ours, which is asked to stop; one
  // still inside a call holds the library itself, so the messenger's unloading cannot pull the
  // code from under it.
  stopPlayerWork();
  removeButtons();
  return nullptr;
}

// Notepad by its full name in the system folder: a bare name is looked for in the current
// folder first, which a file dialog may have left where anyone can put a program of that name.
std::wstring systemNotepad() {
  WCHAR folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::wstring(folder, length).append(notepadName);
}

// Notepad on the file that initialise reads; nothing when the system folder cannot be had.
const void *preferences() {
  std::wstring notepad = systemNotepad();
  if (notepad.empty()) return nullptr;
  std::wstring beside = settingsFileBesideDllInUse();
  // The full name may hold spaces, as under Program Files.
  std::wstring parameters =
      beside.empty() ? std::wstring(currentFoldersSettings) : L'"' + beside + L'"';
  ShellExecuteW(nullptr, L"open", notepad.c_str(), parameters.c_str(), L"", SW_SHOWNORMAL);
  return nullptr;
}

bool isKeyword(std::string_view text) {
  const std::string &key = settings.autoanswerKey;
  // Folding case keeps the length, so texts of another length need no comparison.
  // The comparison refuses a null text even when it is empty. The texts are in the system's
  // ANSI code page, which the user's regional formats (locale 0) may not share.
  const char *bytes = text.empty() ? "" : text.data();
  return text.size() == key.size() && CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, bytes,
                                                     static_cast<int>(text.size()), key.data(),
                                                     static_cast<int>(key.size())) == CSTR_EQUAL;
}

const void *messageReceived(Record event) {
  std::int32_t sender = intAt(event, 6);
  std::string_view text = stringAt(event, 22);
  stripChar(text, ' ');
  if (isKeyword(text)) {
    // Nobody pressed anything: a player that refuses is not worth a box.
    chosenPlayer().sendNowPlaying(sender);
    return wrapForHost({answerHandled});
  }
  // The string is packed in place rather than through packString: this path runs for every
  // message the user receives and should not allocate.
  return wrapForHost({answerData, packInt(static_cast<std::int32_t>(text.size())), text});
}

const void *dispatch(const void *p) {
  Record event = framedAt(p);
  if (intAt(event, 0) == 0 || byteAt(event, 4) != pluginEventKind) return nullptr;
  switch (byteAt(event, 5)) {
  case eventInitialise:
    return initialise(event);
  case eventFinalise:
    return finalise();
  case eventPreferences:
    return preferences();
  case eventMessageReceived:
    return messageReceived(event);
  default:
    return nullptr;
  }
}

} // namespace

void stripChar(std::string_view &s, char ch) {
  while (!s.empty() && s.front() == ch) s.remove_prefix(1);
  while (!s.empty() && s.back() == ch) s.remove_suffix(1);
}

extern "C" const void *WINAPI pluginFun(const void *event) {
  // Nothing may escape into the messenger: an exception here would take its process down.
  try {
    return dispatch(event);
  } catch (...) {
    return nullptr;
  }
}
