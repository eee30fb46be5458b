#pragma once
// A stand-in messenger and machine with which the fuzz targets and the benchmarks drive the
// plug-in: event records exactly as long as they say, a messenger that checks every request
// and answers as it is told, a player window, and a scratch current directory.
#include "host/requests.h"
#include "host/win32.h"
#include "tests/model/messenger.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

// A broken expectation while findings are thrown (see throwFindings).
struct Finding : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reports a broken expectation and aborts, which the fuzzer takes as a finding; or, while
// findings are thrown, throws it as a Finding, so that a replay of saved inputs can fail the one
// input and go on with the others.
[[noreturn]] void fail(const char *what);
void throwFindings(bool on);
inline void expect(bool condition, const char *what) {
  if (!condition) fail(what);
}

// Reads an input from the front; past its end every number reads 0 and every text is empty.
class Cursor {
public:
  Cursor() = default;
  explicit Cursor(std::string_view bytes) : rest_(bytes) {}
  Cursor(const std::uint8_t *data, std::size_t size)
      : rest_(reinterpret_cast<const char *>(data), size) {}
  bool empty() const { return rest_.empty(); }
  std::uint8_t byte();
  std::uint16_t u16();
  std::int32_t i32();
  std::string_view take(std::size_t n);
  // A 16-bit byte count, then that many bytes (fewer at the end of the input).
  std::string_view text() { return take(u16()); }

private:
  std::string_view rest_;
};

// A record (an event record, an answer) in a buffer of just its size, so that a read past its
// end is caught.
std::vector<std::uint8_t> exactCopy(std::string_view record);

// The plug-in as the messenger loads it, on an empty machine, with a messenger that has not
// been asked anything yet.
void unload();

struct Messenger {
  // How to answer the requests: each takes its mode from here, u8 0 (or nothing left): a proper
  // answer; 1: null; 2: the answer body as a u8 count and its bytes, framed exactly.
  Cursor answers;
  std::int32_t nextButtonId = 101;
  std::int32_t chatContact = 321;
  std::vector<std::uint32_t> handlers; // as the addButton requests gave them
  std::size_t requestCount = 0;
  model::Request request; // the last request
  model::RequestKind last = model::RequestKind::unknown;
  std::int32_t lastIdOrContact = 0; // button id or contact of the last request
  std::string lastText;             // hint or message text of the last request
  std::vector<std::uint8_t> answer; // the last answer, empty when it was null
  // The contact that the last answer to getChatContact holds at offset 5, if it holds one.
  std::optional<std::int32_t> chatContactGiven;
};
Messenger &messenger();
// The messenger's side of a request, from whichever build: checks and keeps the request and
// answers it as told; null for a null answer.
const std::vector<std::uint8_t> *answer(std::string_view framedRequest);
// The messenger's side of the host callback.
const void *WINAPI messengerCallback(const void *framedRequest);
std::uint32_t messengerCallbackAddress();
void press(std::uint32_t handler);

// The player's answers to its queries; every other message answers 0.
struct PlayerAnswers {
  std::int32_t state = 1;
  std::int32_t sampleRate = 44;
  std::int32_t bitRate = 128;
  std::int32_t channels = 2;
  std::int32_t positionMs = 83500;
  std::int32_t lengthSeconds = 215;
  std::int32_t playlistIndex = 0;
  std::uint32_t titleAddress = 0; // as a 32-bit player gives it
};
HWND addPlayer(const std::string &caption, const PlayerAnswers &answers);
inline constexpr const char *playerClass = "Winamp v1.x";
// AIMP's remote-control messages: a command, and a property asked or set.
inline constexpr UINT aimpCommand = WM_USER + 0x75;
inline constexpr UINT aimpProperty = WM_USER + 0x77;

// AIMP's shared block as AIMP lays it out: the header, the six strings (album, artist, date,
// file name, genre, title) in UTF-16LE back to back, zeros up to 2048 bytes. Lengths given
// stand in the header in place of the strings' own.
struct AimpHeader {
  std::uint32_t headerSize = 88, active = 1, bitRate = 320, channels = 2, duration = 215000;
  std::uint32_t sampleRate = 44100, trackNumber = 7;
};
using AimpTexts = std::array<std::u16string, 6>;
std::string aimpBlock(const AimpHeader &header, const AimpTexts &texts,
                      const std::array<std::uint32_t, 6> *lengths = nullptr);
// AIMP's window, which answers the position and the duration (ms) with the answers' position
// and length, and its shared block with the bytes given.
HWND addAimp(const std::string &block, const PlayerAnswers &answers);

// A directory of its own that stands for the messenger's current directory. The default player
// program exists in it.
class Scratch {
public:
  Scratch();
  ~Scratch();
  Scratch(const Scratch &) = delete;
  Scratch &operator=(const Scratch &) = delete;
  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

// Makes the directory current for as long as it lives.
class InDirectory {
public:
  explicit InDirectory(const std::filesystem::path &dir);
  ~InDirectory();
  InDirectory(const InDirectory &) = delete;
  InDirectory &operator=(const InDirectory &) = delete;

private:
  std::filesystem::path previous_;
};

// The settings file in the current directory.
void writeSettings(std::string_view text);
void removeSettings();

} // namespace driver
