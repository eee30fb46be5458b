#include "tests/emulator/dll.h"

#include "tests/emulator/bindings.h"
#include "tests/emulator/ehframe.h"
#include "tests/model/messenger.h"

#include <cstdlib>

namespace emu::dll {

namespace {

constexpr std::uint32_t processAttach = 1, processDetach = 0;

struct Module {
  bool loaded = false;
  bool broken = false; // a fault stopped the guest somewhere in the middle
  pe::Image image;
  Messenger messenger;
  Addr hostCallback = 0;
};

Module &module() {
  static Module m;
  return m;
}

const Binding *bindingOf(const pe::Import &import) {
  for (const auto *table : {&win32Bindings(), &runtimeBindings(), &comBindings(), &threadBindings(),
                            &combaseBindings()})
    for (const Binding &b : *table)
      if (import.dll == b.dll && import.name == b.name) return &b;
  return nullptr;
}

void bindImports(const pe::Image &image) {
  std::string unbound;
  for (const pe::Import &import : image.imports) {
    const Binding *b = bindingOf(import);
    if (!b) {
      unbound += " " + import.dll + "!" + import.name;
      continue;
    }
    Addr target = b->routine ? addHostRoutine(import.dll + "!" + import.name, b->convention,
                                              b->argumentCount, b->routine)
                             : allocateData(b->dataSize);
    write32(import.slot, target);
  }
  if (!unbound.empty()) throw Fault("imports without a binding:" + unbound);
}

// The messenger's callback: the DLL calls it with a framed request and reads the answer.
std::uint32_t serveHostCallback(const Call &c) {
  expectCallerState("the host callback");
  if (c.esp % 4) throw Fault("the host callback was called with a misaligned stack");
  Addr request = c.arg(0);
  std::uint32_t length = read32(request);
  if (length > model::maxRecordLength)
    throw Fault("a request announces " + std::to_string(length) + " bytes");
  std::optional<std::string> answer = module().messenger(read(request, 4 + std::size_t{length}));
  return answer ? placeAtPageEnd(answerWindowEnd, *answer) : 0;
}

// Runs guest code; a fault leaves the DLL in no state for DLL_PROCESS_DETACH.
std::uint32_t guarded(Addr fn, const std::vector<std::uint32_t> &args, const std::string &what) {
  if (!module().loaded) throw Fault(what + " with no DLL loaded");
  if (module().broken) throw Fault(what + " after an earlier fault");
  try {
    return call(fn, args, Convention::stdcall, what);
  } catch (...) {
    module().broken = true;
    throw;
  }
}

void notify(std::uint32_t reason, const std::string &what) {
  const pe::Image &image = module().image;
  for (Addr callback : image.tlsCallbacks)
    guarded(callback, {image.base, reason, 0}, "the TLS callback for " + what);
  if (image.entryPoint &&
      !guarded(image.entryPoint, {image.base, reason, 0}, "DllMainCRTStartup for " + what) &&
      reason == processAttach)
    throw Fault("DllMainCRTStartup refused DLL_PROCESS_ATTACH");
}

} // namespace

std::string productPath() {
  if (const char *path = std::getenv("QUIB_DLL")) return path;
  return QUIB_PRODUCT_DLL;
}

void load(const std::string &path, Messenger messenger, Addr base) {
  module() = Module{};
  start();
  heap::reset();
  resetWin32Bindings();
  resetRuntimeBindings();
  resetComBindings();
  resetThreadBindings();
  resetCombaseBindings();
  Module &m = module();
  m.messenger = std::move(messenger);
  m.image = pe::load(path, base);
  if (!m.image.exports.count("pluginFun")) throw Fault("the DLL does not export pluginFun");
  nameRegion(m.image.base, m.image.base + m.image.size, "QUIB_Ctl.dll");
  setModule(m.image.base, m.image.iconIds);
  bindImports(m.image);
  pe::protectSections(m.image);
  m.hostCallback = addHostRoutine("the host callback", Convention::stdcall, 1, serveHostCallback);
  countInstructionsIn(m.image.base, m.image.base + m.image.size);
  checkCallersIn(m.image.base, m.image.base + m.image.size, ehframe::functions(m.image));
  m.loaded = true;
  heap::setPhase("attach");
  notify(processAttach, "DLL_PROCESS_ATTACH");
  heap::setPhase("call");
}

std::vector<heap::Block> unload() {
  Module &m = module();
  if (m.loaded && !m.broken) {
    heap::setPhase("detach");
    notify(processDetach, "DLL_PROCESS_DETACH");
  }
  m.loaded = false;
  return started() ? heap::live() : std::vector<heap::Block>{};
}

bool faulted() {
  return module().broken;
}

const pe::Image &image() {
  return module().image;
}

Addr hostCallback() {
  return module().hostCallback;
}

Addr pluginFun(std::string_view record) {
  Addr event = placeAtPageEnd(eventWindowEnd, record);
  return guarded(image().exports.at("pluginFun"), {event}, "pluginFun");
}

Addr pluginFunWithNull() {
  return guarded(image().exports.at("pluginFun"), {0}, "pluginFun");
}

void press(Addr handler) {
  guarded(handler, {}, "the button handler at " + std::to_string(handler));
}

} // namespace emu::dll
