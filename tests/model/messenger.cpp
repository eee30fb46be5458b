#include "messenger.h"

namespace model {

std::string le32(std::uint32_t value) {
  return {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
          static_cast<char>(value >> 24)};
}

std::string packed(std::string_view text) {
  return le32(static_cast<std::uint32_t>(text.size())).append(text);
}

std::string framed(std::string_view record) {
  return packed(record);
}

std::optional<std::uint8_t> byteAt(std::string_view record, std::size_t offset) {
  if (offset >= record.size()) return std::nullopt;
  return static_cast<std::uint8_t>(record[offset]);
}

std::optional<std::int32_t> intAt(std::string_view record, std::size_t offset) {
  if (offset > record.size() || record.size() - offset < 4) return std::nullopt;
  std::uint32_t u = 0;
  for (std::size_t i = 4; i-- > 0;) u = u << 8 | static_cast<std::uint8_t>(record[offset + i]);
  return static_cast<std::int32_t>(u);
}

std::optional<std::string_view> stringAt(std::string_view record, std::size_t offset) {
  std::optional<std::int32_t> n = intAt(record, offset);
  if (!n || *n < 0) return std::nullopt;
  std::size_t start = offset + 4;
  if (record.size() - start < static_cast<std::size_t>(*n)) return std::nullopt;
  return record.substr(start, static_cast<std::size_t>(*n));
}

FramedView framedAt(const void *p) {
  if (!p) return {{}, "null pointer"};
  const auto *bytes = static_cast<const char *>(p);
  auto length = static_cast<std::uint32_t>(*intAt(std::string_view(bytes, 4), 0));
  if (length > maxRecordLength)
    return {std::string_view(bytes, 4),
            "length " + std::to_string(length) + " is beyond any record; not read"};
  return {std::string_view(bytes, 4 + std::size_t{length}), {}};
}

std::string event(std::uint8_t kind, std::uint8_t code, std::string_view fields) {
  std::string body{static_cast<char>(kind), static_cast<char>(code)};
  return framed(body.append(fields));
}

std::string initialiseEvent(std::uint32_t callbackAddress) {
  return event(pluginEventKind, eventInitialise, le32(callbackAddress));
}

std::string finaliseEvent() {
  return event(pluginEventKind, eventFinalise);
}

std::string preferencesEvent() {
  return event(pluginEventKind, eventPreferences);
}

std::string messageEvent(std::int32_t sender, std::string_view text, char filler) {
  return event(pluginEventKind, eventMessageReceived,
               le32(static_cast<std::uint32_t>(sender)) + std::string(12, filler) + packed(text));
}

std::string_view nameOf(RequestKind kind) {
  switch (kind) {
  case RequestKind::addButton:
    return "addButton";
  case RequestKind::updateButton:
    return "updateButton";
  case RequestKind::removeButton:
    return "removeButton";
  case RequestKind::getChatContact:
    return "getChatContact";
  case RequestKind::sendMessage:
    return "sendMessage";
  default:
    return "unknown";
  }
}

namespace {

RequestKind kindOf(std::uint8_t group, std::uint8_t code) {
  switch (group << 8 | code) {
  case 0x05C9:
    return RequestKind::addButton;
  case 0x05CA:
    return RequestKind::updateButton;
  case 0x05CB:
    return RequestKind::removeButton;
  case 0x01C9:
    return RequestKind::getChatContact;
  case 0x0501:
    return RequestKind::sendMessage;
  default:
    return RequestKind::unknown;
  }
}

// The fixed part of each request, length word included; the string field follows it.
std::size_t layoutOf(RequestKind kind) {
  switch (kind) {
  case RequestKind::removeButton:
    return 10;
  case RequestKind::getChatContact:
    return 6;
  case RequestKind::unknown:
    return 6;
  default:
    return 14;
  }
}

bool hasText(RequestKind kind) {
  return kind == RequestKind::addButton || kind == RequestKind::updateButton ||
         kind == RequestKind::sendMessage;
}

// Reads the fields of a request whose length covers its fixed part.
void readFields(std::string_view r, Request &q) {
  std::int32_t first = intAt(r, 6).value_or(0);
  std::int32_t second = intAt(r, 10).value_or(0);
  switch (q.kind) {
  case RequestKind::addButton:
    q.handler = static_cast<std::uint32_t>(first);
    q.icon = static_cast<std::uint32_t>(second);
    break;
  case RequestKind::updateButton:
    q.buttonId = first;
    q.icon = static_cast<std::uint32_t>(second);
    break;
  case RequestKind::removeButton:
    q.buttonId = first;
    break;
  case RequestKind::sendMessage:
    q.contact = first;
    q.field = second;
    break;
  default:
    break;
  }
}

} // namespace

Request decodeRequest(std::string_view framed) {
  Request q;
  decodeRequest(framed, q);
  return q;
}

void decodeRequest(std::string_view framed, Request &q) {
  // Assigned field by field, so that a request kept for reuse keeps its storage.
  q.kind = RequestKind::unknown;
  q.handler = q.icon = 0;
  q.buttonId = q.contact = q.field = 0;
  q.text.clear();
  q.trailing = 0;
  q.problem.clear();
  q.framed.assign(framed);
  if (framed.size() < 6) {
    q.problem = "a request of " + std::to_string(framed.size()) + " bytes has no header";
    return;
  }
  q.kind = kindOf(*byteAt(framed, 4), *byteAt(framed, 5));
  std::size_t layout = layoutOf(q.kind);
  if (q.kind == RequestKind::unknown) {
    q.problem = "unknown header bytes";
    return;
  }
  if (framed.size() < layout + (hasText(q.kind) ? 4 : 0)) {
    q.problem = "length " + std::to_string(framed.size() - 4) + " is shorter than its layout";
    return;
  }
  readFields(framed, q);
  std::size_t used = layout;
  if (hasText(q.kind)) {
    std::optional<std::string_view> text = stringAt(framed, layout);
    if (!text) {
      q.problem = "the text runs past the end";
      return;
    }
    q.text.assign(*text);
    used += 4 + text->size();
  }
  q.trailing = framed.size() - used;
}

std::string initialiseAnswer(std::string_view displayName) {
  constexpr std::uint32_t interfaceVersion = 4;
  return framed(std::string(1, '\x02') + packed(displayName) + le32(interfaceVersion));
}

std::string addButtonAnswer(std::int32_t buttonId) {
  return framed(le32(static_cast<std::uint32_t>(buttonId)));
}

std::string chatContactAnswer(std::int32_t contact) {
  // The byte in front of the contact is the messenger's own; the plug-in never reads it.
  std::string body(1, '\x01');
  return framed(body.append(le32(static_cast<std::uint32_t>(contact))));
}

std::string emptyAnswer() {
  return framed({});
}

Answer decodeAnswer(const void *answer) {
  Answer a;
  if (!answer) return a;
  FramedView view = framedAt(answer);
  a.framed = view.bytes;
  a.kind = AnswerKind::other;
  if (!view.problem.empty()) {
    a.problem = view.problem;
    return a;
  }
  std::optional<std::uint8_t> kind = byteAt(view.bytes, 4);
  if (kind == 0x04) {
    a.kind = AnswerKind::handled;
    a.trailing = view.bytes.size() - 5;
  } else if (kind == 0x02) {
    a.kind = AnswerKind::data;
    std::optional<std::string_view> text = stringAt(view.bytes, 5);
    if (!text) {
      a.problem = "the string runs past the end";
      return a;
    }
    a.text = *text;
    std::size_t used = 9 + text->size();
    for (; std::optional<std::int32_t> value = intAt(view.bytes, used); used += 4)
      a.ints.push_back(*value);
    a.trailing = view.bytes.size() - used;
  }
  return a;
}

std::vector<std::uint32_t> Messenger::handlers() const {
  std::vector<std::uint32_t> out;
  for (const Request &q : requests)
    if (q.kind == RequestKind::addButton) out.push_back(q.handler);
  return out;
}

const std::string &Messenger::answer(std::string_view framedRequest) {
  requests.push_back(decodeRequest(framedRequest));
  switch (requests.back().kind) {
  case RequestKind::addButton:
    last_ = addButtonAnswer(nextButtonId++);
    break;
  case RequestKind::getChatContact:
    last_ = chatContactAnswer(chatContact);
    break;
  default:
    last_ = emptyAnswer();
    break;
  }
  return last_;
}

} // namespace model
