#pragma once
// Heap allocations made through the global operator new since the program started.
#include <cstdint>

std::uint64_t heapAllocations();
