#pragma once
// The transcript: one line per record, event and script step, with the milliseconds since
// start, written to stdout and optionally to a file, flushed line by line so that a reader
// sees everything up to a hang or a crash. Safe to call from any thread.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Opens the transcript file besides stdout; false when it cannot be created.
bool openTranscriptFile(const char *path);
void note(std::string_view line);
// Milliseconds since the program started.
unsigned long long elapsedMs();

// Bytes as upper-case hex, two digits each, nothing between.
std::string hexOf(std::string_view bytes);
// A field of the transcript: name="text" when the text is printable ASCII without quotes,
// otherwise name=hex:... so that Windows-1251 bytes survive any terminal.
std::string textField(std::string_view name, std::string_view bytes);
std::string hex32(std::uint32_t value);
// "hex:..." or plain text as the script gives it, as bytes.
std::optional<std::string> scriptText(std::string_view token);
