// The stand-in player's playlist in memory of its own: the titles where the player's answers
// point, and for a 64-bit player other text where a reader of the cut address would look.
#include "standin-player.h"
#include "standin.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

// The titles copied into a block of the player's own memory, placed from the top of the address
// space down, so that a 64-bit player's addresses do not fit in 32 bits.
void placePlaylist() {
  std::size_t size = 0;
  for (const std::string &title : player.playlist) size += title.size() + 1;
  if (size == 0) return;
  auto *block = static_cast<char *>(
      VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT | MEM_TOP_DOWN, PAGE_READWRITE));
  if (!block) return;
  for (const std::string &title : player.playlist) {
    std::memcpy(block, title.c_str(), title.size() + 1);
    player.titles.push_back(block);
    block += title.size() + 1;
  }
}

std::string hexAddress(const void *address) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(address)));
  return text;
}

// A 64-bit player's titles lie above 4 GiB; the decoy goes at each title's address cut to its
// low 32 bits, in one block of memory committed there. Gives where it lies, or why not.
std::string placeDecoy() {
  if (player.decoy.empty() || player.titles.empty()) return "none";
  const std::uint64_t first = reinterpret_cast<std::uintptr_t>(player.titles.front());
  const std::uint64_t last = reinterpret_cast<std::uintptr_t>(player.titles.back());
  if (first <= 0xFFFFFFFFull) return "below-4gib";
  const std::uint64_t cutFirst = first & 0xFFFFFFFFull;
  const std::uint64_t base = cutFirst & ~std::uint64_t{0xFFFF};
  const std::uint64_t end = (last & 0xFFFFFFFFull) + player.decoy.size() + 1;
  auto *block = static_cast<char *>(VirtualAlloc(reinterpret_cast<void *>(base), end - base,
                                                 MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!block) return "failed error=" + std::to_string(GetLastError());
  for (const char *title : player.titles) {
    const std::uint64_t cut = reinterpret_cast<std::uintptr_t>(title) & 0xFFFFFFFFull;
    std::memcpy(block + (cut - base), player.decoy.c_str(), player.decoy.size() + 1);
  }
  return hexAddress(block + (cutFirst - base));
}

std::vector<std::string> splitTitles(const std::string &list) {
  std::vector<std::string> titles;
  std::size_t start = 0;
  for (std::size_t bar = list.find('|'); bar != std::string::npos; bar = list.find('|', start)) {
    titles.push_back(list.substr(start, bar - start));
    start = bar + 1;
  }
  titles.push_back(list.substr(start));
  return titles;
}

// Titles given in hex, such as UTF-8 ones, which the command line cannot carry as bytes.
bool playlistFromHex(const std::string &list) {
  player.playlist.clear();
  for (const std::string &digits : splitTitles(list)) {
    std::string title;
    if (!fromHex(digits, title)) return false;
    player.playlist.push_back(title);
  }
  return true;
}
