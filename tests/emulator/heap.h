#pragma once
// The guest's heap: the blocks that msvcrt's malloc, calloc, realloc and free hand out and take
// back, each remembered with the code that asked for it, and every call counted.
#include "tests/emulator/cpu.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emu::heap {

struct Block {
  Addr address;
  std::uint32_t size;
  Addr caller;       // the return address of the call that allocated it
  std::string phase; // what the guest was doing then, e.g. "attach"
};

// An empty heap; its region is mapped.
void reset();
// What the blocks allocated from now on are marked with.
void setPhase(std::string phase);
// Allocations at or above this many bytes fail, as on an exhausted machine; 0: none fail.
void setFailingSize(std::uint32_t size);

// 0 when the block cannot be had.
Addr allocate(std::uint32_t size, Addr caller);
// A null pointer is ignored; a pointer the heap did not hand out throws a Fault.
void release(Addr address);
Addr reallocate(Addr address, std::uint32_t size, Addr caller);

// Calls of malloc, calloc, realloc and free since reset().
std::uint64_t calls();
void countCall();
std::vector<Block> live();

} // namespace emu::heap
