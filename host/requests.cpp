#include "host/requests.h"

HostCallback hostCallback = nullptr;
std::string replyBuffer;

namespace {

// An icon of the plug-in's own resources, loaded for one request.
struct IconHandle {
  HICON handle;
  explicit IconHandle(int iconId)
      : handle(LoadIconA(thisModule(), MAKEINTRESOURCEA(static_cast<std::uintptr_t>(iconId)))) {}
  ~IconHandle() {
    if (handle) DestroyIcon(handle);
  }
  IconHandle(const IconHandle &) = delete;
  IconHandle &operator=(const IconHandle &) = delete;
  std::string packed() const {
    return packInt(packedAddress(reinterpret_cast<std::uintptr_t>(handle)));
  }
};

} // namespace

const void *wrapForHost(std::initializer_list<std::string_view> pieces) {
  std::size_t size = 0;
  for (std::string_view piece : pieces) size += piece.size();
  // Reusing the buffer's storage keeps the hot message path free of allocations.
  replyBuffer.assign(packInt(static_cast<std::int32_t>(size)));
  for (std::string_view piece : pieces) replyBuffer.append(piece);
  return replyBuffer.data();
}

Record callHost(std::initializer_list<std::string_view> pieces) {
  if (!hostCallback) return {};
  return framedAt(hostCallback(wrapForHost(pieces)));
}

std::int32_t addButton(int iconId, ButtonHandler handler, std::string_view hint) {
  IconHandle icon(iconId);
  Record answer =
      callHost({"\x05\xC9", packInt(packedAddress(reinterpret_cast<std::uintptr_t>(handler))),
                icon.packed(), packString(hint)});
  return intAt(answer, 4);
}

void updateButton(int iconId, std::int32_t buttonId, std::string_view hint) {
  IconHandle icon(iconId);
  callHost({"\x05\xCA", packInt(buttonId), icon.packed(), packString(hint)});
}

void removeButton(std::int32_t buttonId) {
  callHost({"\x05\xCB", packInt(buttonId)});
}

std::int32_t getChatContact() {
  return intAt(callHost({"\x01\xC9"}), 5);
}

void sendMessage(std::int32_t contact, std::string_view text) {
  callHost({"\x05\x01", packInt(contact), packInt(0), packString(text)});
}
