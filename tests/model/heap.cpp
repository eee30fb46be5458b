// Lives apart so that no call is inlined into code that the compiler then checks for new/free
// pairs.
#include "tests/model/heap.h"

#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t largestBlock = 0x7FFFFFFF;
std::uint64_t allocations = 0;

} // namespace

std::uint64_t heapAllocations() {
  return allocations;
}

void *operator new(std::size_t size) {
  ++allocations;
  if (size <= largestBlock)
    if (void *p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void *operator new[](std::size_t size) {
  return operator new(size);
}
void operator delete(void *p) noexcept {
  std::free(p);
}
void operator delete[](void *p) noexcept {
  std::free(p);
}
void operator delete(void *p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void *p, std::size_t) noexcept {
  std::free(p);
}
