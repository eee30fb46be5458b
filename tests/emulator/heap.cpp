#include "tests/emulator/heap.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <map>

namespace emu::heap {

namespace {

// Blocks are never handed out twice: a late read of a freed block finds the fill pattern
// rather than somebody else's data.
constexpr Addr alignment = 16;
constexpr char uninitialised = '\xCD';
constexpr char freed = '\xDD';

struct State {
  Addr next = heapBase;
  std::map<Addr, Block> blocks;
  std::string phase;
  std::uint32_t failingSize = 0;
  std::uint64_t calls = 0;
};

State &state() {
  static State s;
  return s;
}

// The size of a live block; a Fault for any other address.
std::uint32_t sizeOf(Addr address) {
  const auto &blocks = state().blocks;
  auto b = blocks.find(address);
  if (b == blocks.end())
    throw Fault("the heap never handed out a block at " + std::to_string(address) +
                " (or it was freed already)");
  return b->second.size;
}

} // namespace

void reset() {
  state() = State{};
  map(heapBase, heapSize, UC_PROT_READ | UC_PROT_WRITE);
}

void setPhase(std::string phase) {
  state().phase = std::move(phase);
}

void setFailingSize(std::uint32_t size) {
  state().failingSize = size;
}

Addr allocate(std::uint32_t size, Addr caller) {
  State &s = state();
  if (s.failingSize && size >= s.failingSize) return 0;
  Addr rounded = (std::max<std::uint32_t>(size, 1) + alignment - 1) / alignment * alignment;
  if (rounded > heapBase + heapSize - s.next) return 0;
  Addr address = s.next;
  s.next += rounded;
  write(address, std::string(size, uninitialised));
  s.blocks[address] = {address, size, caller, s.phase};
  return address;
}

void release(Addr address) {
  if (!address) return;
  std::uint32_t size = sizeOf(address);
  write(address, std::string(size, freed));
  state().blocks.erase(address);
}

Addr reallocate(Addr address, std::uint32_t size, Addr caller) {
  if (!address) return allocate(size, caller);
  std::uint32_t old = sizeOf(address);
  Addr moved = allocate(size, caller);
  if (!moved) return 0;
  write(moved, read(address, std::min(old, size)));
  release(address);
  return moved;
}

std::uint64_t calls() {
  return state().calls;
}

void countCall() {
  ++state().calls;
}

std::vector<Block> live() {
  std::vector<Block> blocks;
  for (const auto &b : state().blocks) blocks.push_back(b.second);
  return blocks;
}

} // namespace emu::heap
