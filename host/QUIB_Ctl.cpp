// The plug-in's entry point: the messenger delivers every event here.
#include "host/QUIB_Ctl.h"

#include "host/buttons.h"
#include "host/requests.h"
#include "host/version.h"
#include "mixer/mute.h"
#include "player/player.h"
#include "player/worker.h"
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

const void *initialise(Record event) {
  hostCallback = reinterpret_cast<HostCallback>(std::uintptr_t{pointerAt(event, 6)});
  parseSettings(readSettingsFile());
  if (settings.customPlayer.empty()) settings.customPlayer = defaultPlayer;
  muteState = false;
  registerButtons();
  return wrapForHost({answerData, packString(displayName), packInt(interfaceVersion)});
}

const void *finalise() {
  // A media session's operation may still be waited for: no code of ours may run once the
  // messenger has had this answer and unloads the library.
  stopWorker();
  removeButtons();
  return nullptr;
}

// Notepad on the file that initialise reads.
const void *preferences() {
  std::string beside = settingsFileBesideDllInUse();
  if (beside.empty()) {
    ShellExecuteA(nullptr, "open", "notepad.exe", ".\\Plugins\\QUIB_Ctl.ini", "", SW_SHOWNORMAL);
    return nullptr;
  }
  // The full name may hold spaces, as under Program Files.
  std::string quoted = '"' + beside + '"';
  ShellExecuteA(nullptr, "open", "notepad.exe", quoted.c_str(), "", SW_SHOWNORMAL);
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
