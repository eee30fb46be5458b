#pragma once
// The records that cross the plug-in boundary: 32-bit little-endian integers and
// length-prefixed strings, each record framed by its own length. Every read is checked
// against the length the record announces, so a short record is reported, never read past.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A record that announces more than this is refused rather than read.
inline constexpr std::uint32_t maxRecordLength = 1u << 20;

std::string packInt(std::int32_t value);
std::string packString(std::string_view s);
// The record preceded by its length word.
std::string frame(std::string_view record);

// The whole framed record at p, length word included, or an explanation of why it cannot be
// read (a null pointer, an absurd length).
struct FramedView {
  std::string_view bytes;
  std::string problem;
};
FramedView framedAt(const void *p);

// Readers at offsets counted from the first byte of the length word; empty when the field
// does not lie wholly inside the record.
std::optional<std::uint8_t> byteAt(std::string_view record, std::size_t offset);
std::optional<std::int32_t> intAt(std::string_view record, std::size_t offset);
std::optional<std::string_view> stringAt(std::string_view record, std::size_t offset);

// Bytes as upper-case hex, two digits each, nothing between.
std::string hexOf(std::string_view bytes);
// A field of the transcript: name="text" when the text is printable ASCII without quotes,
// otherwise name=hex:... so that Windows-1251 bytes survive any terminal.
std::string textField(std::string_view name, std::string_view bytes);
std::string hex32(std::uint32_t value);
// "hex:..." or plain text as the script gives it, as bytes.
std::optional<std::string> scriptText(std::string_view token);
