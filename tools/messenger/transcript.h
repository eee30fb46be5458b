#pragma once
// The transcript: one line per record, event and script step, with the milliseconds since
// start, written to stdout and optionally to a file, flushed line by line so that a reader
// sees everything up to a hang or a crash. Safe to call from any thread.
#include <string>
#include <string_view>

// Opens the transcript file besides stdout; false when it cannot be created.
bool openTranscriptFile(const char *path);
void note(std::string_view line);
// Milliseconds since the program started.
unsigned long long elapsedMs();
