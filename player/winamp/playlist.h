#pragma once
// The title of the player's current playlist entry as the player holds it, read from the
// player's own memory: whole even while the window caption scrolls.
#include "host/win32.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// At most this many bytes of a title are read.
inline constexpr std::size_t titleLimit = 255;
// The player's memory is read a page at a time: a read whose range reaches a page that cannot
// be read fails as a whole, even when the title ends before it.
inline constexpr std::uintptr_t memoryPageSize = 0x1000;

// The text at the address in the memory of the window's process, where the player's answer to
// requestPlaylistTitle points: up to its NUL, at most titleLimit bytes; empty when it cannot be
// read, or when the player's process is not of the plug-in's own bitness.
std::string readPlayerText(HWND window, std::uintptr_t address);
// How many bytes of a title to read next at the address, with so many read before: up to the
// end of the page that holds the address, and never past the limit.
std::size_t titleChunk(std::uintptr_t at, std::size_t taken);
// Two processes are of one bitness when both or neither run under WOW64; a process whose answer
// could not be had (nullopt) is of an unknown bitness, which is not the same.
bool sameBitness(std::optional<bool> ownWow64, std::optional<bool> playerWow64);
