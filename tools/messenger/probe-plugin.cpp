// A probe plug-in for the reference messenger's own checks: it registers three buttons and,
// on presses, makes well-formed requests, requests that are shorter than their layout, and a
// message box, so that the messenger's framing checks and its box watcher can be seen at work.
#include "tests/model/messenger.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace {

using HostCallback = const void *(WINAPI *)(const void *framedRequest);

HostCallback host = nullptr;
std::string reply;
std::int32_t ids[3] = {};

const void *wrap(const std::string &record) {
  reply = model::framed(record);
  return reply.data();
}

const void *callHost(const std::string &record) {
  return host(wrap(record));
}

std::int32_t packedAddress(const void *address) {
  return static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(address));
}

// A 16 by 16 monochrome icon: a filled square with a frame of the given thickness.
HICON makeIcon(int frameWidth) {
  BYTE andMask[32];
  BYTE xorMask[32];
  for (int row = 0; row < 16; ++row) {
    const bool edge = row < frameWidth || row >= 16 - frameWidth;
    andMask[row * 2] = andMask[row * 2 + 1] = 0;
    xorMask[row * 2] = edge ? 0xFF : static_cast<BYTE>(0xFF << (8 - frameWidth));
    xorMask[row * 2 + 1] = edge ? 0xFF : static_cast<BYTE>(0xFF >> (8 - frameWidth));
  }
  return CreateIcon(GetModuleHandleA(nullptr), 16, 16, 1, 1, andMask, xorMask);
}

std::int32_t addButton(void(WINAPI *handler)(), int frameWidth, const std::string &hint) {
  HICON icon = makeIcon(frameWidth);
  const void *answer = callHost(std::string("\x05\xC9", 2) +
                                model::le32(packedAddress(reinterpret_cast<void *>(handler))) +
                                model::le32(packedAddress(icon)) + model::packed(hint));
  DestroyIcon(icon);
  return model::intAt(model::framedAt(answer).bytes, 4).value_or(0);
}

void WINAPI sendToChat() {
  const void *answer = callHost(std::string("\x01\xC9", 2));
  const std::int32_t contact = model::intAt(model::framedAt(answer).bytes, 5).value_or(0);
  callHost(std::string("\x05\x01", 2) + model::le32(contact) + model::le32(0) +
           model::packed("probe line"));
}

void WINAPI sendMalformed() {
  // addButton cut off inside its icon field, then a sendMessage whose text runs past the end.
  callHost(std::string("\x05\xC9", 2) + model::le32(0x1234));
  callHost(std::string("\x05\x01", 2) + model::le32(1) + model::le32(0) + model::le32(100) + "abc");
  callHost(std::string("\x05\xCB", 2));
  callHost(std::string("\x07\x07", 2));
}

void WINAPI changeLookAndWarn() {
  HICON icon = makeIcon(4);
  callHost(std::string("\x05\xCA", 2) + model::le32(ids[2]) + model::le32(packedAddress(icon)) +
           model::packed("\xD2\xE8\xF8\xE5"));
  DestroyIcon(icon);
  MessageBoxA(nullptr, "probe box\r\n\r\n\xCF\xF0\xEE\xE1\xE0", "",
              MB_OK | MB_ICONHAND | MB_TASKMODAL);
}

} // namespace

extern "C" __declspec(dllexport) const void *WINAPI pluginFun(const void *event) {
  const model::FramedView view = model::framedAt(event);
  const std::string_view record = view.bytes;
  if (!view.problem.empty() || model::byteAt(record, 4) != 3) return nullptr;
  switch (model::byteAt(record, 5).value_or(0)) {
  case 1:
    host = reinterpret_cast<HostCallback>(static_cast<std::uintptr_t>(
        static_cast<std::uint32_t>(model::intAt(record, 6).value_or(0))));
    ids[0] = addButton(sendToChat, 1, "send to chat");
    ids[1] = addButton(sendMalformed, 3, "malformed requests");
    ids[2] = addButton(changeLookAndWarn, 5, "\xD1\xEC\xE5\xED\xE0");
    return wrap(std::string(1, '\x02') + model::packed("Probe") + model::le32(4));
  case 2:
    for (int i = 2; i >= 0; --i) {
      if (ids[i]) callHost(std::string("\x05\xCB", 2) + model::le32(ids[i]));
    }
    return nullptr;
  case 6: {
    const std::string text(model::stringAt(record, 22).value_or(std::string_view()));
    if (text == "probe") {
      callHost(std::string("\x05\x01", 2) + model::le32(model::intAt(record, 6).value_or(0)) +
               model::le32(0) + model::packed("probe answer"));
      return wrap(std::string(1, '\x04'));
    }
    return wrap(std::string(1, '\x02') + model::packed(text));
  }
  default:
    return nullptr;
  }
}
