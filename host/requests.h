#pragma once
// Framing of records for the messenger and the requests made through its callback.
#include "host/pluginutil.h"
#include "host/win32.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

using HostCallback = const void *(WINAPI *)(const void *framedRequest);
using ButtonHandler = void(WINAPI *)();

extern HostCallback hostCallback;
extern std::string replyBuffer;

// Frames the record made of pieces (concatenated in order) into the reply buffer and
// returns the buffer's first byte. The pointer stays valid until the next record is framed.
const void *wrapForHost(std::initializer_list<std::string_view> pieces);
// Hands a framed request to the messenger; the empty record while there is no callback.
Record callHost(std::initializer_list<std::string_view> pieces);

std::int32_t addButton(int iconId, ButtonHandler handler, std::string_view hint);
void updateButton(int iconId, std::int32_t buttonId, std::string_view hint);
void removeButton(std::int32_t buttonId);
std::int32_t getChatContact();
void sendMessage(std::int32_t contact, std::string_view text);
