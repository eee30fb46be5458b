#include "host/pluginutil.h"

#include <cassert>
#include <cstring>

namespace {

// The bytes [offset, offset + width) of r, or null when any of them lies outside it.
const std::uint8_t *field(Record r, std::int32_t offset, std::uint64_t width) {
  if (!r.data || offset < 0) return nullptr;
  auto start = static_cast<std::uint64_t>(offset);
  if (start > r.size || width > r.size - start) return nullptr;
  return r.data + start;
}

std::uint32_t littleEndian(const std::uint8_t *p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

} // namespace

Record framedAt(const void *p) {
  if (!p) return {};
  auto bytes = static_cast<const std::uint8_t *>(p);
  return {bytes, std::uint64_t{4} + littleEndian(bytes)};
}

std::string packInt(std::int32_t value) {
  auto v = static_cast<std::uint32_t>(value);
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

std::string packString(std::string_view s) {
  std::string packed = packInt(static_cast<std::int32_t>(s.size()));
  packed.append(s);
  return packed;
}

std::uint8_t byteAt(Record r, std::int32_t offset) {
  const std::uint8_t *p = field(r, offset, 1);
  return p ? *p : 0;
}

std::int32_t intAt(Record r, std::int32_t offset) {
  return static_cast<std::int32_t>(pointerAt(r, offset));
}

std::uint32_t pointerAt(Record r, std::int32_t offset) {
  const std::uint8_t *p = field(r, offset, 4);
  return p ? littleEndian(p) : 0;
}

std::string_view stringAt(Record r, std::int32_t offset) {
  std::int32_t n = intAt(r, offset);
  if (n <= 0 || offset > INT32_MAX - 4) return {};
  const std::uint8_t *p = field(r, offset + 4, static_cast<std::uint64_t>(n));
  return p ? std::string_view(reinterpret_cast<const char *>(p), static_cast<std::size_t>(n))
           : std::string_view();
}

std::int32_t packedAddress(std::uintptr_t address) {
  // The messenger's records hold 32-bit addresses; the 64-bit builds are linked low for it.
  assert(address <= UINT32_MAX);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(address));
}
