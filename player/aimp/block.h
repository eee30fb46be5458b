#pragma once
// AIMP's current track, as AIMP shares it in a named block of memory with its strings in UTF-16.
#include "host/win32.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::size_t aimpBlockSize = 2048;
inline constexpr std::uint32_t aimpHeaderSize = 88;

using WideText = std::basic_string<WCHAR>;

struct AimpTrack {
  std::int32_t bitRate = 0; // kbps
  std::int32_t channels = 0;
  std::int32_t sampleRate = 0; // Hz
  std::uint32_t trackNumber = 0;
  // Each empty when the block has none, or when it or a string before it would run past the
  // block's end.
  WideText artist, fileName, title;
};

// The track the block holds; nullopt for a block shorter than its header, whose header is not
// 88 bytes, or that is not active. Nothing past the block's 2048 bytes is read.
std::optional<AimpTrack> parseAimpBlock(std::string_view block);
// "Artist - Title", the title alone without an artist; the file name without its folder stands
// in for a title that is missing.
WideText aimpTrackName(const AimpTrack &track);
// The track of the running AIMP; nullopt when its block cannot be opened or holds none.
std::optional<AimpTrack> readAimpTrack();
