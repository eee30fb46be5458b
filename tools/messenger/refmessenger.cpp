// The reference messenger: loads a plug-in of the messenger's interface, delivers its events,
// answers its requests through the host callback, shows its buttons and chat messages, and
// runs a script of steps given on the command line while it writes a transcript of every
// record that crosses the boundary, in both directions.
#include "boxwatcher.h"
#include "chatwindow.h"
#include "handles.h"
#include "transcript.h"

#include "standin.h"
#include "tests/model/messenger.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using PluginFun = const void *(WINAPI *)(const void *event);
using Handler = void(WINAPI *)();

constexpr const char *playerClass = "Winamp v1.x";
constexpr std::int32_t firstButtonId = 201;
constexpr int toolbarIconSize = 16;
// Enough to see every field of a record without flooding the transcript.
constexpr std::size_t rawLimit = 512;

const char *const usage =
    "usage: refmessenger --plugin DLL [--contact N] [--transcript FILE] [--watch-boxes MS]\n"
    "                    [--deadline MS] [STEP...]\n"
    "steps: init | fini | prefs | message CONTACT TEXT | press N | click N | contact N |\n"
    "       wait MS | wait-window CLASS MS | wait-title CLASS TEXT MS | close-window CLASS |\n"
    "       wait-player MS | close-player | hang-player MS | event HEX | where | unload |\n"
    "       stay | mixer-mute | compare TEXT TEXT\n"
    "TEXT and HEX: plain text, or hex:CCDD... for bytes; N of press and click: the button's\n"
    "place in registration order among those on the toolbar, from 1.\n"
    "Without steps: init, then stay until the window is closed.\n";

struct Registration {
  std::int32_t id = 0;
  std::uint32_t handler = 0;
};

struct Plugin {
  HMODULE module = nullptr;
  std::uintptr_t base = 0;
  std::uintptr_t end = 0;
  PluginFun fun = nullptr;
};

struct Messenger {
  Plugin plugin;
  HWND window = nullptr;
  std::int32_t contact = 321;
  std::int32_t nextButtonId = firstButtonId;
  std::vector<Registration> buttons; // on the toolbar, in registration order
  std::string answer;                // the last framed answer to a request
  bool initialised = false;
  bool windowClosed = false;
};

Messenger messenger;

std::string raw(std::string_view bytes) {
  if (bytes.size() <= rawLimit) return " raw=" + hexOf(bytes);
  return " raw=" + hexOf(bytes.substr(0, rawLimit)) + "...";
}

std::string trailing(std::size_t bytes) {
  if (!bytes) return {};
  return " trailing=" + std::to_string(bytes);
}

std::string hexAddress(std::uintptr_t address) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(address));
  return text;
}

bool insidePlugin(std::uintptr_t address) {
  return address >= messenger.plugin.base && address < messenger.plugin.end;
}

const void *answerWith(std::string framed) {
  messenger.answer = std::move(framed);
  // Zero bytes beyond the frame: a reader that goes past the announced length finds 0.
  messenger.answer.append(8, '\0');
  return messenger.answer.data();
}

HICON iconFrom(std::int32_t packed) {
  // Icon handles are 32-bit values, sign-extended in 64-bit processes.
  return reinterpret_cast<HICON>(static_cast<std::intptr_t>(packed));
}

std::string iconSize(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return "unknown";
  BITMAP bitmap{};
  GetObjectA(info.hbmMask, sizeof bitmap, &bitmap);
  const int height = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  DeleteObject(info.hbmMask);
  return std::to_string(bitmap.bmWidth) + "x" + std::to_string(height);
}

// Copies the plug-in's icon, which it destroys as soon as the request returns, at the
// toolbar's size: from the icon's own resource when the system still knows it, else scaled.
IconPtr copyIcon(std::int32_t packed, std::string &description) {
  description = " icon=" + hex32(static_cast<std::uint32_t>(packed)) +
                " icon-nonzero=" + (packed ? "yes" : "no");
  if (!packed) return nullptr;
  const HICON icon = iconFrom(packed);
  description += " icon-size=" + iconSize(icon);
  IconPtr copy(static_cast<HICON>(
      CopyImage(icon, IMAGE_ICON, toolbarIconSize, toolbarIconSize, LR_COPYFROMRESOURCE)));
  if (!copy) {
    copy.reset(
        static_cast<HICON>(CopyImage(icon, IMAGE_ICON, toolbarIconSize, toolbarIconSize, 0)));
  }
  description += " icon-copy=" + (copy ? iconSize(copy.get()) : std::string("failed"));
  return copy;
}

const void *onAddButton(const model::Request &q) {
  std::string icon;
  IconPtr copy = copyIcon(static_cast<std::int32_t>(q.icon), icon);
  const std::int32_t id = messenger.nextButtonId++;
  messenger.buttons.push_back({id, q.handler});
  note("request addButton order=" + std::to_string(messenger.buttons.size()) + " handler=" +
       hex32(q.handler) + " handler-in-plugin=" + (insidePlugin(q.handler) ? "yes" : "no") + icon +
       " " + textField("hint", q.text) + trailing(q.trailing) + raw(q.framed));
  addToolbarButton(id, std::move(copy), q.text);
  const void *answer = answerWith(model::addButtonAnswer(id));
  note("answer addButton id=" + std::to_string(id) +
       raw(std::string_view(messenger.answer.data(), 8)));
  return answer;
}

const void *onUpdateButton(const model::Request &q) {
  std::string icon;
  IconPtr copy = copyIcon(static_cast<std::int32_t>(q.icon), icon);
  const bool known = updateToolbarButton(q.buttonId, std::move(copy), q.text);
  note("request updateButton id=" + std::to_string(q.buttonId) +
       " known=" + (known ? "yes" : "no") + icon + " " + textField("hint", q.text) +
       trailing(q.trailing) + raw(q.framed));
  return answerWith(model::emptyAnswer());
}

const void *onRemoveButton(const model::Request &q) {
  bool known = false;
  for (auto it = messenger.buttons.begin(); it != messenger.buttons.end(); ++it) {
    if (it->id == q.buttonId) {
      messenger.buttons.erase(it);
      known = true;
      break;
    }
  }
  removeToolbarButton(q.buttonId);
  note("request removeButton id=" + std::to_string(q.buttonId) +
       " known=" + (known ? "yes" : "no") + trailing(q.trailing) + raw(q.framed));
  return answerWith(model::emptyAnswer());
}

const void *onGetChatContact(const model::Request &q) {
  note("request getChatContact" + trailing(q.trailing) + raw(q.framed));
  const void *answer = answerWith(model::chatContactAnswer(messenger.contact));
  note("answer getChatContact contact=" + std::to_string(messenger.contact) +
       raw(std::string_view(messenger.answer.data(), 9)));
  return answer;
}

const void *onSendMessage(const model::Request &q) {
  note("request sendMessage contact=" + std::to_string(q.contact) +
       " field=" + std::to_string(q.field) + " " + textField("text", q.text) +
       trailing(q.trailing) + raw(q.framed));
  appendChatLine("me -> " + std::to_string(q.contact) + ": " + q.text);
  return answerWith(model::emptyAnswer());
}

const void *WINAPI hostCallback(const void *framedRequest) {
  const model::FramedView view = model::framedAt(framedRequest);
  if (!view.problem.empty()) {
    note("request malformed=\"" + view.problem + "\"" + raw(view.bytes));
    return answerWith(model::emptyAnswer());
  }
  const model::Request q = model::decodeRequest(view.bytes);
  if (q.kind == model::RequestKind::unknown && view.bytes.size() >= 6) {
    note("request unknown header=" + hexOf(view.bytes.substr(4, 2)) + raw(view.bytes));
    return answerWith(model::emptyAnswer());
  }
  if (!q.problem.empty()) {
    // A short request still gets an answer that reads as 0, as a messenger would give.
    note("request " + std::string(model::nameOf(q.kind)) + " malformed=\"" + q.problem + "\"" +
         raw(view.bytes));
    return answerWith(q.kind == model::RequestKind::addButton ? model::addButtonAnswer(0)
                                                              : model::emptyAnswer());
  }
  switch (q.kind) {
  case model::RequestKind::addButton:
    return onAddButton(q);
  case model::RequestKind::updateButton:
    return onUpdateButton(q);
  case model::RequestKind::removeButton:
    return onRemoveButton(q);
  case model::RequestKind::getChatContact:
    return onGetChatContact(q);
  default:
    return onSendMessage(q);
  }
}

// What pluginFun gave back for an event, decoded; the answer's text or nothing.
std::string decodeResult(const char *event, const void *result, bool &handled) {
  const model::Answer answer = model::decodeAnswer(result);
  handled = answer.kind == model::AnswerKind::handled;
  std::string line = std::string("result ") + event;
  if (answer.kind == model::AnswerKind::none) {
    note(line + " none");
    return {};
  }
  if (answer.framed.size() < 5) {
    line += answer.problem.empty() ? " empty" : " malformed=\"" + answer.problem + "\"";
  } else if (handled) {
    line += " answerHandled" + trailing(answer.trailing);
  } else if (answer.kind == model::AnswerKind::data) {
    line += " answerData";
    if (!answer.problem.empty()) {
      line += " malformed=\"" + answer.problem + "\"";
    } else {
      line += " " + textField("string", answer.text);
      for (const std::int32_t value : answer.ints) line += " int=" + std::to_string(value);
      line += trailing(answer.trailing);
    }
  } else {
    line += " kind=" + hexOf(answer.framed.substr(4, 1));
  }
  note(line + raw(answer.framed));
  return answer.text;
}

std::string deliver(const char *name, const std::string &event, bool &handled) {
  note(std::string("event ") + name + raw(event));
  const void *result = messenger.plugin.fun(event.data());
  return decodeResult(name, result, handled);
}

void deliverInitialise() {
  const auto callback = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&hostCallback));
  note("event initialise callback=" + hex32(callback));
  bool handled = false;
  deliver("initialise", model::initialiseEvent(callback), handled);
  messenger.initialised = true;
}

void deliverFinalise() {
  bool handled = false;
  deliver("finalise", model::finaliseEvent(), handled);
  messenger.initialised = false;
}

void deliverMessage(std::int32_t from, const std::string &text) {
  note("event message-received contact=" + std::to_string(from) + " " + textField("text", text));
  appendChatLine(std::to_string(from) + ": " + text);
  bool handled = false;
  const std::string shown = deliver("message-received", model::messageEvent(from, text), handled);
  if (!handled) appendChatLine("  (shown to the user: " + shown + ")");
}

// Calls the handler the plug-in gave for a button, as the messenger does on a click.
void pressButton(std::int32_t id, const char *how) {
  const Registration *found = nullptr;
  std::size_t order = 0;
  for (std::size_t i = 0; i < messenger.buttons.size(); ++i) {
    if (messenger.buttons[i].id == id) {
      found = &messenger.buttons[i];
      order = i + 1;
    }
  }
  if (!found) {
    note(std::string(how) + " id=" + std::to_string(id) + " refused=\"no such button\"");
    return;
  }
  const std::uint32_t handler = found->handler;
  const std::string what = std::string(how) + " order=" + std::to_string(order) +
                           " id=" + std::to_string(id) + " handler=" + hex32(handler);
  if (!insidePlugin(handler)) {
    note(what + " refused=\"handler lies outside the plug-in\"");
    return;
  }
  note(what);
  const unsigned long long start = elapsedMs();
  reinterpret_cast<Handler>(static_cast<std::uintptr_t>(handler))();
  note("returned " + what + " after=" + std::to_string(elapsedMs() - start) + "ms");
}

void onClick(std::int32_t id) {
  pressButton(id, "click");
}

// Runs the window's messages until the time is up or the window is closed.
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

// Waits for a top-level window of the class whose title contains the text (any title when
// the text is empty).
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

// The speakers' mute control of mixer 0 as this process sees it: since Windows Vista, that of
// the messenger's own audio session.
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

// The loaded image's machine, as its PE header names it.
std::string machineName(WORD machine) {
  switch (machine) {
  case IMAGE_FILE_MACHINE_I386:
    return "i386";
  case IMAGE_FILE_MACHINE_AMD64:
    return "amd64";
  default:
    return hex32(machine);
  }
}

// Whether this 32-bit process runs on 64-bit Windows, as the plug-in's users mostly have it.
std::string wow64() {
  BOOL isWow64 = FALSE;
  if (!IsWow64Process(GetCurrentProcess(), &isWow64)) return "failed";
  return isWow64 ? "yes" : "no";
}

bool loadPlugin(const char *path) {
  Plugin &p = messenger.plugin;
  p.module = LoadLibraryA(path);
  if (!p.module) {
    note(std::string("load ") + textField("plugin", path) +
         " failed=" + std::to_string(GetLastError()));
    return false;
  }
  p.base = reinterpret_cast<std::uintptr_t>(p.module);
  const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(p.module);
  const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(p.base + dos->e_lfanew);
  p.end = p.base + nt->OptionalHeader.SizeOfImage;
  // Through void*: GetProcAddress knows no signatures.
  p.fun =
      reinterpret_cast<PluginFun>(reinterpret_cast<void *>(GetProcAddress(p.module, "pluginFun")));
  note(std::string("load ") + textField("plugin", path) + " base=" + hexAddress(p.base) + " size=" +
       std::to_string(p.end - p.base) + " machine=" + machineName(nt->FileHeader.Machine) +
       " wow64=" + wow64() + " pluginFun=" + (p.fun ? "found" : "missing") +
       " acp=" + std::to_string(GetACP()) + " system-lcid=" + hex32(GetSystemDefaultLCID()) +
       " user-lcid=" + hex32(GetUserDefaultLCID()));
  return p.fun != nullptr;
}

void unloadPlugin() {
  if (!messenger.plugin.module) return;
  FreeLibrary(messenger.plugin.module);
  messenger.plugin = {};
  note("unload");
}

// The system's comparison ignoring case, in the user's regional formats (locale 0) and in the
// system locale: where their code pages differ, so may the results.
void compareIgnoringCase(const std::string &a, const std::string &b) {
  const auto compare = [&](LCID locale) {
    return std::to_string(CompareStringA(locale, NORM_IGNORECASE, a.data(),
                                         static_cast<int>(a.size()), b.data(),
                                         static_cast<int>(b.size())));
  };
  note("compare locale-0=" + compare(0) + " system-default=" + compare(LOCALE_SYSTEM_DEFAULT));
}

struct Step {
  std::string name;
  std::vector<std::string> args;
};

int arity(const std::string &name) {
  static const struct {
    const char *name;
    int args;
  } known[] = {{"init", 0},         {"fini", 0},        {"prefs", 0},        {"message", 2},
               {"press", 1},        {"click", 1},       {"contact", 1},      {"wait", 1},
               {"wait-window", 2},  {"wait-title", 3},  {"close-window", 1}, {"wait-player", 1},
               {"close-player", 0}, {"hang-player", 1}, {"event", 1},        {"where", 0},
               {"unload", 0},       {"stay", 0},        {"mixer-mute", 0},   {"compare", 2}};
  for (const auto &k : known) {
    if (name == k.name) return k.args;
  }
  return -1;
}

std::int32_t numberArg(const std::string &text) {
  return static_cast<std::int32_t>(std::strtol(text.c_str(), nullptr, 0));
}

std::int32_t buttonAt(const std::string &order) {
  const std::int32_t n = numberArg(order);
  if (n < 1 || static_cast<std::size_t>(n) > messenger.buttons.size()) return 0;
  return messenger.buttons[static_cast<std::size_t>(n - 1)].id;
}

void run(const Step &step) {
  std::string line = "step " + step.name;
  for (const std::string &a : step.args) line += " " + a;
  note(line);
  const auto &a = step.args;
  const bool loaded = messenger.plugin.fun != nullptr;
  if ((step.name == "init" || step.name == "fini" || step.name == "prefs" ||
       step.name == "message" || step.name == "event") &&
      !loaded) {
    note("step refused=\"no plug-in loaded\"");
  } else if (step.name == "init") {
    deliverInitialise();
  } else if (step.name == "fini") {
    deliverFinalise();
  } else if (step.name == "prefs") {
    bool handled = false;
    deliver("preferences", model::preferencesEvent(), handled);
  } else if (step.name == "message") {
    deliverMessage(numberArg(a[0]), *scriptText(a[1]));
  } else if (step.name == "event") {
    // A record of the script's own making, length word included, for the plug-in's checks;
    // zero bytes follow it, so a plug-in that reads past its end finds 0.
    const std::string event = *scriptText(a[0]);
    note("event raw" + raw(event));
    const std::string padded = event + std::string(16, '\0');
    bool handled = false;
    decodeResult("raw", messenger.plugin.fun(padded.data()), handled);
  } else if (step.name == "press" || step.name == "click") {
    const std::int32_t id = buttonAt(a[0]);
    if (!id) {
      note("step refused=\"no button " + a[0] + " on the toolbar\"");
    } else if (step.name == "press") {
      pressButton(id, "press");
    } else {
      SendMessageA(toolbarButtonControl(id), BM_CLICK, 0, 0);
    }
  } else if (step.name == "contact") {
    messenger.contact = numberArg(a[0]);
    setChatContact(messenger.contact);
  } else if (step.name == "wait") {
    pump(static_cast<DWORD>(numberArg(a[0])));
  } else if (step.name == "wait-window") {
    waitWindow(a[0], {}, static_cast<DWORD>(numberArg(a[1])));
  } else if (step.name == "wait-title") {
    waitWindow(a[0], *scriptText(a[1]), static_cast<DWORD>(numberArg(a[2])));
  } else if (step.name == "close-window") {
    closeWindows(a[0]);
  } else if (step.name == "wait-player") {
    waitWindow(playerClass, {}, static_cast<DWORD>(numberArg(a[0])));
  } else if (step.name == "close-player") {
    closeWindows(playerClass);
  } else if (step.name == "hang-player") {
    hangPlayer(static_cast<DWORD>(numberArg(a[0])));
  } else if (step.name == "where") {
    where();
  } else if (step.name == "mixer-mute") {
    mixerMute();
  } else if (step.name == "unload") {
    if (messenger.initialised) deliverFinalise();
    unloadPlugin();
  } else if (step.name == "stay") {
    while (!messenger.windowClosed) pump(INFINITE);
  } else if (step.name == "compare") {
    compareIgnoringCase(*scriptText(a[0]), *scriptText(a[1]));
  }
  pump(0);
}

LONG WINAPI onCrash(EXCEPTION_POINTERS *info) {
  const EXCEPTION_RECORD *r = info->ExceptionRecord;
  const auto address = reinterpret_cast<std::uintptr_t>(r->ExceptionAddress);
  note("crash code=" + hex32(r->ExceptionCode) + " address=" + hexAddress(address) +
       " in-plugin=" + (insidePlugin(address) ? "yes" : "no"));
  ExitProcess(3);
}

DWORD WINAPI deadline(LPVOID ms) {
  Sleep(static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(ms)));
  note("deadline exceeded; exiting");
  ExitProcess(4);
}

} // namespace

int main(int argc, char **argv) {
  elapsedMs();
  SetUnhandledExceptionFilter(onCrash);
  const char *pluginPath = nullptr;
  DWORD boxDelay = 0;
  bool watchBoxes = false;
  DWORD deadlineMs = 0;
  std::vector<Step> steps;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--plugin" && hasValue) {
      pluginPath = argv[++i];
    } else if (arg == "--contact" && hasValue) {
      messenger.contact = numberArg(argv[++i]);
    } else if (arg == "--transcript" && hasValue) {
      if (!openTranscriptFile(argv[++i])) {
        std::fprintf(stderr, "cannot create the transcript %s\n", argv[i]);
        return 2;
      }
    } else if (arg == "--watch-boxes" && hasValue) {
      watchBoxes = true;
      boxDelay = static_cast<DWORD>(numberArg(argv[++i]));
    } else if (arg == "--deadline" && hasValue) {
      deadlineMs = static_cast<DWORD>(numberArg(argv[++i]));
    } else if (arity(arg) >= 0 && i + arity(arg) < argc) {
      Step step{arg, {}};
      for (int k = 0; k < arity(arg); ++k) step.args.push_back(argv[++i]);
      if (((arg == "message" || arg == "wait-title") && !scriptText(step.args[1])) ||
          (arg == "event" && !scriptText(step.args[0]))) {
        std::fprintf(stderr, "bad hex text in step %s\n%s", arg.c_str(), usage);
        return 2;
      }
      steps.push_back(step);
    } else {
      std::fprintf(stderr, "unknown or incomplete argument %s\n%s", arg.c_str(), usage);
      return 2;
    }
  }
  if (!pluginPath) {
    std::fputs(usage, stderr);
    return 2;
  }
  if (steps.empty()) steps = {{"init", {}}, {"stay", {}}};
  Handle watchdog;
  if (deadlineMs) {
    watchdog.reset(CreateThread(nullptr, 0, deadline,
                                reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(deadlineMs)),
                                0, nullptr));
  }

  const auto callback = reinterpret_cast<std::uintptr_t>(&hostCallback);
  note("start contact=" + std::to_string(messenger.contact) +
       " callback-below-4gb=" + (callback <= 0xFFFFFFFFull ? "yes" : "no"));
  messenger.window = createChatWindow(GetModuleHandleA(nullptr), messenger.contact, onClick);
  if (watchBoxes) startBoxWatcher(messenger.window, boxDelay);
  pump(0);
  const bool loaded = loadPlugin(pluginPath);
  for (const Step &step : steps) {
    if (messenger.windowClosed) break;
    run(step);
  }
  if (messenger.plugin.fun && messenger.initialised) {
    note("finalise at exit");
    deliverFinalise();
  }
  unloadPlugin();
  stopBoxWatcher();
  if (!messenger.windowClosed) DestroyWindow(messenger.window);
  note("exit");
  return loaded ? 0 : 1;
}
