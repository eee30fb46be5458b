#pragma once
// The functions of a loaded DLL, as its call frame information (.eh_frame) bounds them.
#include "tests/emulator/cpu.h"
#include "tests/emulator/pe.h"

#include <vector>

namespace emu::ehframe {

// Every function that has a frame description, from the image's .eh_frame section as it lies
// in guest memory (relocated); sorted by address. Empty when the image has no such section.
std::vector<FunctionRange> functions(const pe::Image &image);

} // namespace emu::ehframe
