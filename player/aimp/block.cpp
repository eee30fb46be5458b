#include "player/aimp/block.h"

namespace {

constexpr const char *blockName = "AIMP2_RemoteInfo";

// Header offsets.
enum : std::size_t {
  offsetHeaderSize = 0,
  offsetActive = 4,
  offsetBitRate = 8,
  offsetChannels = 12,
  offsetSampleRate = 32,
  offsetTrackNumber = 36,
  offsetLengths = 40, // six string lengths in UTF-16 code units, in the strings' order
};

// Album, artist, date, file name, genre and title.
constexpr std::size_t textCount = 6;

std::uint32_t dwordAt(std::string_view block, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 4; i-- > 0;)
    value = value << 8 | static_cast<unsigned char>(block[offset + i]);
  return value;
}

WideText wideAt(std::string_view block, std::size_t offset, std::size_t units) {
  WideText text(units, WCHAR{});
  for (std::size_t i = 0; i < units; ++i)
    text[i] = static_cast<WCHAR>(static_cast<unsigned char>(block[offset + 2 * i]) |
                                 static_cast<unsigned char>(block[offset + 2 * i + 1]) << 8);
  return text;
}

// The strings a track shows, of the six back to back after the header; from the first that
// would run past the block on, none.
void readTexts(std::string_view block, AimpTrack &track) {
  WideText *const shown[textCount] = {nullptr,         &track.artist, nullptr,
                                      &track.fileName, nullptr,       &track.title};
  std::uint64_t offset = aimpHeaderSize;
  for (std::size_t i = 0; i < textCount; ++i) {
    std::uint64_t units = dwordAt(block, offsetLengths + 4 * i);
    if (offset + 2 * units > block.size()) return;
    if (shown[i])
      *shown[i] = wideAt(block, static_cast<std::size_t>(offset), static_cast<std::size_t>(units));
    offset += 2 * units;
  }
}

WideText withoutFolder(const WideText &path) {
  std::size_t slash = path.find_last_of(WideText{WCHAR('\\'), WCHAR('/')});
  return slash == WideText::npos ? path : path.substr(slash + 1);
}

struct Mapping {
  HANDLE handle = OpenFileMappingA(FILE_MAP_READ, FALSE, blockName);
  Mapping() = default;
  ~Mapping() {
    if (handle) CloseHandle(handle);
  }
  Mapping(const Mapping &) = delete;
  Mapping &operator=(const Mapping &) = delete;
};

struct View {
  LPVOID address;
  explicit View(HANDLE mapping)
      : address(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, aimpBlockSize)) {}
  ~View() {
    if (address) UnmapViewOfFile(address);
  }
  View(const View &) = delete;
  View &operator=(const View &) = delete;
};

} // namespace

std::optional<AimpTrack> parseAimpBlock(std::string_view block) {
  block = block.substr(0, aimpBlockSize);
  if (block.size() < aimpHeaderSize || dwordAt(block, offsetHeaderSize) != aimpHeaderSize ||
      dwordAt(block, offsetActive) == 0)
    return std::nullopt;
  AimpTrack track;
  track.bitRate = static_cast<std::int32_t>(dwordAt(block, offsetBitRate));
  track.channels = static_cast<std::int32_t>(dwordAt(block, offsetChannels));
  track.sampleRate = static_cast<std::int32_t>(dwordAt(block, offsetSampleRate));
  track.trackNumber = dwordAt(block, offsetTrackNumber);
  readTexts(block, track);
  return track;
}

WideText aimpTrackName(const AimpTrack &track) {
  // The file name stands in for a title AIMP does not know.
  WideText title = track.title.empty() ? withoutFolder(track.fileName) : track.title;
  if (track.artist.empty()) return title;
  return track.artist + WideText{WCHAR(' '), WCHAR('-'), WCHAR(' ')} + title;
}

std::optional<AimpTrack> readAimpTrack() {
  Mapping mapping;
  if (!mapping.handle) return std::nullopt;
  View view(mapping.handle);
  if (!view.address) return std::nullopt;
  return parseAimpBlock({static_cast<const char *>(view.address), aimpBlockSize});
}
