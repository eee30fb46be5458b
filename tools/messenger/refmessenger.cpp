// The reference messenger: loads a plug-in of the messenger's interface, delivers its events,
// answers its requests through the host callback, shows its buttons and chat messages, and
// runs a script of steps given on the command line while it writes a transcript of every
// record that crosses the boundary, in both directions.
// Here: the script of steps and the command line; the files beside it do the rest.
#include "boxwatcher.h"
#include "chatwindow.h"
#include "desktop.h"
#include "handles.h"
#include "plugin.h"
#include "requests.h"
#include "state.h"
#include "transcript.h"

#include "tests/model/messenger.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const char *const usage =
    "usage: refmessenger --plugin DLL [--contact N] [--transcript FILE] [--watch-boxes MS]\n"
    "                    [--deadline MS] [STEP...]\n"
    "steps: init | fini | prefs | message CONTACT TEXT | press N | click N | contact N |\n"
    "       wait MS | wait-window CLASS MS | wait-title CLASS TEXT MS | close-window CLASS |\n"
    "       wait-player MS | close-player | hang-player MS | event HEX | where | unload |\n"
    "       stay | mixer-mute | compare TEXT TEXT | wait-gone FILE MS\n"
    "TEXT and HEX: plain text, or hex:CCDD... for bytes; N of press and click: the button's\n"
    "place in registration order among those on the toolbar, from 1.\n"
    "Without steps: init, then stay until the window is closed.\n";

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
               {"unload", 0},       {"stay", 0},        {"mixer-mute", 0},   {"compare", 2},
               {"wait-gone", 2}};
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
  } else if (step.name == "wait-gone") {
    // After the unload: whether a thread of the library still held it, and when it went.
    const bool loaded = GetModuleHandleA(a[0].c_str()) != nullptr;
    const unsigned long long start = elapsedMs(), until = start + numberArg(a[1]);
    while (GetModuleHandleA(a[0].c_str()) && elapsedMs() < until) pump(100);
    note(std::string(GetModuleHandleA(a[0].c_str()) ? "never gone" : "gone") + " first-poll=" +
         (loaded ? "loaded" : "gone") + " after=" + std::to_string(elapsedMs() - start) + "ms");
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
