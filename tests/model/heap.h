#pragma once
// The global operator new of the unit tests and the benchmarks. It counts every allocation, and
// like the 32-bit messenger's process it holds no block of 2 GiB or more: such a size fails at
// once instead of taking the machine's memory.
#include <cstdint>

// Heap allocations made through the global operator new since the program started.
std::uint64_t heapAllocations();
