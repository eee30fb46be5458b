#pragma once
// The messenger's side of the plug-in interface, as every test, fuzz target, benchmark and tool
// plays it: the event records it delivers, the plug-in's requests and answers decoded, and the
// answers it gives. Written apart from the plug-in's own packing, so that the plug-in is never
// checked with its own code. Plain C++: it builds for Linux and for Windows alike.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace model {

// Packing: 32-bit little-endian integers and length-prefixed strings.
std::string le32(std::uint32_t value);
std::string packed(std::string_view text);
// The record behind its 32-bit length word.
std::string framed(std::string_view record);

// Readers at offsets counted from the first byte of the length word; nothing when the field
// does not lie wholly inside the record.
std::optional<std::uint8_t> byteAt(std::string_view record, std::size_t offset);
std::optional<std::int32_t> intAt(std::string_view record, std::size_t offset);
std::optional<std::string_view> stringAt(std::string_view record, std::size_t offset);

// A record that announces more than this is taken as broken rather than read.
inline constexpr std::uint32_t maxRecordLength = 1u << 20;
// The framed record at p, length word included, or why it cannot be read.
struct FramedView {
  std::string_view bytes;
  std::string problem;
};
FramedView framedAt(const void *p);

// Event records, framed as the messenger hands them over.
inline constexpr std::uint8_t pluginEventKind = 3;
enum EventCode : std::uint8_t {
  eventInitialise = 1,
  eventFinalise = 2,
  eventPreferences = 3,
  eventMessageReceived = 6,
};
std::string event(std::uint8_t kind, std::uint8_t code, std::string_view fields = {});
std::string initialiseEvent(std::uint32_t callbackAddress);
std::string finaliseEvent();
std::string preferencesEvent();
// The 12 bytes the plug-in does not read are filled with filler.
std::string messageEvent(std::int32_t sender, std::string_view text, char filler = '\0');

// The plug-in's requests, decoded.
enum class RequestKind {
  addButton,
  updateButton,
  removeButton,
  getChatContact,
  sendMessage,
  unknown
};
std::string_view nameOf(RequestKind kind);

struct Request {
  RequestKind kind = RequestKind::unknown;
  std::string framed;        // exactly the bytes handed over, length word included
  std::uint32_t handler = 0; // addButton
  std::uint32_t icon = 0;    // addButton, updateButton: the icon handle
  std::int32_t buttonId = 0; // updateButton, removeButton
  std::int32_t contact = 0;  // sendMessage
  std::int32_t field = 0;    // sendMessage: the field that always carries 0
  std::string text;          // the hint, or the message text
  std::size_t trailing = 0;  // bytes after the last field
  std::string problem;       // why the request cannot be read; empty when it is well formed
};
Request decodeRequest(std::string_view framed);
// The same into a request that is kept for reuse, without allocating once it has grown.
void decodeRequest(std::string_view framed, Request &into);

// The plug-in's answer to initialise, framed: its display name and the interface version 4.
std::string initialiseAnswer(std::string_view displayName);

// The messenger's answers to requests, framed.
std::string addButtonAnswer(std::int32_t buttonId);
std::string chatContactAnswer(std::int32_t contact);
std::string emptyAnswer();

// The plug-in's answer to an event, decoded.
enum class AnswerKind { none, data, handled, other };
struct Answer {
  AnswerKind kind = AnswerKind::none;
  std::string framed;             // exactly the bytes of the answer; empty for none
  std::string text;               // data: the string that follows the kind byte
  std::vector<std::int32_t> ints; // data: the integers after the string
  std::size_t trailing = 0;       // bytes after the last whole field
  std::string problem;
};
Answer decodeAnswer(const void *answer);

// A messenger that keeps every request and answers it properly: button ids from 101 on, the
// open chat's contact for getChatContact, an empty record for the rest.
struct Messenger {
  std::int32_t nextButtonId = 101;
  std::int32_t chatContact = 321;
  std::vector<Request> requests;
  // The button handlers in the order the buttons were registered.
  std::vector<std::uint32_t> handlers() const;
  // Takes a request and gives the framed answer, which stays valid until the next request.
  const std::string &answer(std::string_view framedRequest);

private:
  std::string last_;
};

} // namespace model
