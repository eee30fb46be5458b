// The plug-in under test: loading and unloading it, the events delivered to it and what it
// gives back, and the calls of its buttons' handlers.
#include "plugin.h"

#include "chatwindow.h"
#include "requests.h"
#include "state.h"
#include "transcript.h"

#include "tests/model/messenger.h"

namespace {

using Handler = void(WINAPI *)();

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

} // namespace

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
