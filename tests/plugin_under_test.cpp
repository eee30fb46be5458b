#include "tests/plugin_under_test.h"

#include "host/QUIB_Ctl.h"
#include "host/requests.h"
#include "tests/emulator/bindings.h"
#include "tests/emulator/dll.h"
#include "tests/model/messenger.h"
#include "tests/native_plugin.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

AnswerRequest &nativeMessenger() {
  static AnswerRequest answer = nullptr;
  return answer;
}

const void *WINAPI nativeCallback(const void *framedRequest) {
  const std::string *answer = nativeMessenger()(model::framedAt(framedRequest).bytes);
  return answer ? answer->data() : nullptr;
}

int simIconId(std::uintptr_t hostHandle) {
  return sim::iconIdOf(reinterpret_cast<HICON>(hostHandle));
}

const PluginUnderTest native{
    "native",
    [](AnswerRequest answerRequest) {
      unloadNativePlugin();
      nativeMessenger() = answerRequest;
    },
    [] { unloadNativePlugin(); },
    [] { return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&nativeCallback)); },
    [](std::string_view record) {
      // A buffer of just the record's size, so that the sanitizers see a read past its end.
      std::vector<char> copy(record.begin(), record.end());
      return reinterpret_cast<std::uintptr_t>(::pluginFun(copy.data()));
    },
    [] { return reinterpret_cast<std::uintptr_t>(::pluginFun(nullptr)); },
    [](std::uintptr_t address) {
      return std::string(model::framedAt(reinterpret_cast<const void *>(address)).bytes);
    },
    [](std::uint32_t handler) { reinterpret_cast<ButtonHandler>(std::uintptr_t{handler})(); },
    [](std::uint32_t icon) { return simIconId(icon); },
};

// The DLL's own blocks must all be back after DLL_PROCESS_DETACH; the C++ runtime's blocks,
// taken at DLL_PROCESS_ATTACH, are its own business.
void checkHeapAfterUnload() {
  bool faulted = emu::dll::faulted();
  for (const emu::heap::Block &b : emu::dll::unload())
    if (b.phase != "attach" && !faulted)
      ADD_FAILURE() << "the plug-in left " << b.size << " bytes on the heap, allocated during "
                    << b.phase << " by the code at RVA 0x" << std::hex
                    << b.caller - emu::dll::image().base;
}

const PluginUnderTest emulated{
    "emulated",
    [](AnswerRequest answerRequest) { loadEmulatedAt(0, answerRequest); },
    checkHeapAfterUnload,
    [] { return emu::dll::hostCallback(); },
    [](std::string_view record) { return std::uintptr_t{emu::dll::pluginFun(record)}; },
    [] { return std::uintptr_t{emu::dll::pluginFunWithNull()}; },
    [](std::uintptr_t address) {
      auto guest = static_cast<emu::Addr>(address);
      return address ? emu::read(guest, 4 + std::size_t{emu::read32(guest)}) : std::string();
    },
    [](std::uint32_t handler) { emu::dll::press(handler); },
    [](std::uint32_t icon) { return simIconId(emu::hostHandleOf(icon)); },
};

} // namespace

void loadEmulatedAt(std::uint32_t base, AnswerRequest answerRequest) {
  emu::dll::load(
      emu::dll::productPath(),
      [answerRequest](std::string_view framed) -> std::optional<std::string> {
        const std::string *answer = answerRequest(framed);
        return answer ? std::optional(*answer) : std::nullopt;
      },
      base);
}

const PluginUnderTest &nativePlugin() {
  return native;
}

const PluginUnderTest &emulatedPlugin() {
  return emulated;
}
