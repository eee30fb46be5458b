#pragma once
// Packed data: the byte strings that cross the boundary with the messenger.
#include <cstdint>
#include <string>
#include <string_view>

// A record as the plug-in may read it: its first byte and the number of bytes that belong to
// it. Readers never look past size, so a record that announces less than a field needs reads
// that field as 0 or as the empty string.
struct Record {
  const std::uint8_t *data = nullptr;
  std::uint64_t size = 0;
};

// The framed record at p: its 4-byte length word and the bytes the word announces.
// A null pointer gives the empty record.
Record framedAt(const void *p);

std::string packInt(std::int32_t value);
std::string packString(std::string_view s);

std::uint8_t byteAt(Record r, std::int32_t offset);
std::int32_t intAt(Record r, std::int32_t offset);
std::uint32_t pointerAt(Record r, std::int32_t offset);
// The packed string at offset, valid as long as the record is.
std::string_view stringAt(Record r, std::int32_t offset);

// An address as the messenger's 32-bit records carry it.
std::int32_t packedAddress(std::uintptr_t address);
