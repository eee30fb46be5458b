#pragma once
// The player's playlist: the current entry and its title as the player holds it, read from the
// player's own memory, whole even while the window caption scrolls.
#include <cstddef>
#include <cstdint>
#include <string>

// At most this many bytes of a title are read.
inline constexpr std::size_t titleLimit = 255;
// The player's memory is read a page at a time: a read whose range reaches a page that cannot
// be read fails as a whole, even when the title ends before it.
inline constexpr std::uintptr_t memoryPageSize = 0x1000;

// The current entry of the player's playlist, counted from 0; below 0 when the player has none
// or does not answer.
std::int32_t askPlaylistIndex();
// The title of the entry at the index as the player holds it; empty when the player gives no
// title or it cannot be read.
std::string askPlaylistTitle(std::int32_t index);
// How many bytes of a title to read next at the address, with so many read before: up to the
// end of the page that holds the address, and never past the limit.
std::size_t titleChunk(std::uintptr_t at, std::size_t taken);
