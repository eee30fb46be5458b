#pragma once
// The inputs of the event-sequence target (fuzz_events), read once for every build that takes
// them: the fuzz target on the native build, and the replay of its corpus on the shipped DLL.
//
// Input, little-endian; a text is a u16 byte count and that many bytes:
//   u8    machine: 1 the settings file exists, 2 the player runs, 4 the player is hung,
//         8 a launched player comes up, 16 the registry names a player program,
//         32 no mixer, 64 no speakers line, 128 no mute control
//   text  settings file
//   text  player caption
//   i32×4 player answers: playing state, sample rate, bit rate, channels
//   u8    lookups after a launch before the player's window appears
//   text  the registered open command
//   text  the messenger's answers (driver::Messenger::answers)
//   u8    Core Audio: 1 there (Windows Vista and later), 2 no default endpoint, 4 Activate
//         fails, 8 SetMute fails, 16 the endpoint already muted, 32 the messenger's thread in
//         a single-threaded apartment, 64 in a multithreaded one
//   then steps to the end, u8 op % 3: 0 an event record, its bytes after the length word as a
//   text; 1 a press of the registered handler u8 % count; 2 a null event.
// An initialise event's callback field, unless it is zero, becomes the messenger's callback.
#include "fuzz/driver.h"

#include <cstdint>
#include <string_view>

namespace events {

// Where the steps go, in the build under test.
struct Plugin {
  std::uint32_t (*callbackAddress)();
  // The record as the messenger frames it, and its body after the length word.
  void (*deliver)(std::string_view record, std::string_view body);
  void (*deliverNull)();
  void (*press)(std::uint32_t handler);
};

// Sets the machine and the messenger up as the input says, on a machine just reset, and runs
// its steps. Each step must hold the messenger's thread no longer than a launch takes.
void run(driver::Cursor &in, const Plugin &plugin);

} // namespace events
