#include "records.h"

#include <cstdio>

std::string packInt(std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  const char bytes[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                         static_cast<char>((u >> 16) & 0xFF), static_cast<char>(u >> 24)};
  return std::string(bytes, 4);
}

std::string packString(std::string_view s) {
  return packInt(static_cast<std::int32_t>(s.size())) + std::string(s);
}

std::string frame(std::string_view record) {
  return packString(record);
}

FramedView framedAt(const void *p) {
  if (!p) return {{}, "null pointer"};
  const auto *bytes = static_cast<const char *>(p);
  const auto length = static_cast<std::uint32_t>(*intAt(std::string_view(bytes, 4), 0));
  if (length > maxRecordLength) {
    return {std::string_view(bytes, 4),
            "length " + std::to_string(length) + " is beyond any record; not read"};
  }
  return {std::string_view(bytes, 4 + std::size_t{length}), {}};
}

std::optional<std::uint8_t> byteAt(std::string_view record, std::size_t offset) {
  if (offset >= record.size()) return std::nullopt;
  return static_cast<std::uint8_t>(record[offset]);
}

std::optional<std::int32_t> intAt(std::string_view record, std::size_t offset) {
  if (offset > record.size() || record.size() - offset < 4) return std::nullopt;
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<std::uint8_t>(record[offset + i]);
  return static_cast<std::int32_t>(u);
}

std::optional<std::string_view> stringAt(std::string_view record, std::size_t offset) {
  const auto length = intAt(record, offset);
  if (!length || *length < 0) return std::nullopt;
  const std::size_t start = offset + 4;
  if (record.size() - start < static_cast<std::size_t>(*length)) return std::nullopt;
  return record.substr(start, static_cast<std::size_t>(*length));
}

std::string hexOf(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    const auto b = static_cast<std::uint8_t>(c);
    out += digits[b >> 4];
    out += digits[b & 0x0F];
  }
  return out;
}

std::string textField(std::string_view name, std::string_view bytes) {
  bool plain = true;
  for (const char c : bytes) {
    if (c < 0x20 || c > 0x7E || c == '"') plain = false;
  }
  if (plain) return std::string(name) + "=\"" + std::string(bytes) + "\"";
  return std::string(name) + "=hex:" + hexOf(bytes);
}

std::string hex32(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
  return text;
}

std::optional<std::string> scriptText(std::string_view token) {
  constexpr std::string_view prefix = "hex:";
  if (token.substr(0, prefix.size()) != prefix) return std::string(token);
  const auto digits = token.substr(prefix.size());
  if (digits.size() % 2 != 0) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    unsigned value = 0;
    for (std::size_t j = i; j < i + 2; ++j) {
      const char c = digits[j];
      value <<= 4;
      if (c >= '0' && c <= '9')
        value |= static_cast<unsigned>(c - '0');
      else if (c >= 'a' && c <= 'f')
        value |= static_cast<unsigned>(c - 'a' + 10);
      else if (c >= 'A' && c <= 'F')
        value |= static_cast<unsigned>(c - 'A' + 10);
      else
        return std::nullopt;
    }
    out += static_cast<char>(value);
  }
  return out;
}
