// The messenger's shared state, and the transcript's view of the plug-in's records and
// addresses.
#include "state.h"

#include "transcript.h"

#include <cstdio>

namespace {

// Enough to see every field of a record without flooding the transcript.
constexpr std::size_t rawLimit = 512;

} // namespace

Messenger messenger;

std::string raw(std::string_view bytes) {
  if (bytes.size() <= rawLimit) return " raw=" + hexOf(bytes);
  return " raw=" + hexOf(bytes.substr(0, rawLimit)) + "...";
}

std::string trailing(std::size_t bytes) {
  if (!bytes) return {};
  return " trailing=" + std::to_string(bytes);
}

std::string hexAddress(std::uintptr_t address) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(address));
  return text;
}

bool insidePlugin(std::uintptr_t address) {
  return address >= messenger.plugin.base && address < messenger.plugin.end;
}
