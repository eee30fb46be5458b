// The x86-32 CPU and the memory around the DLL: start-up (descriptors, thread block, stack),
// mapping, reads and writes, and the names of regions that fault reports give.
#include "tests/emulator/cpu.h"

#include "tests/emulator/machine.h"

#include <unicorn/unicorn.h>

#include <cstdio>

namespace emu {

namespace {

constexpr Addr gdtAddress = 0x00001000;
constexpr Addr startUpAddress = 0x00002000;
constexpr Addr pebAddress = 0x7FFDF000;
constexpr std::uint32_t codeSelector = 0x08, dataSelector = 0x10, tebSelector = 0x18;

} // namespace

Machine &machine() {
  static Machine m;
  return m;
}

uc_engine *engine() {
  if (!machine().uc) throw Fault("the CPU is not started");
  return machine().uc.get();
}

std::uint32_t reg(int id) {
  std::uint32_t value = 0;
  uc_reg_read(engine(), id, &value);
  return value;
}

void setReg(int id, std::uint32_t value) {
  uc_reg_write(engine(), id, &value);
}

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", value);
  return text;
}

std::string describe(Addr address) {
  const auto &regions = machine().regions;
  auto r = regions.upper_bound(address);
  if (r == regions.begin() || address >= (--r)->second.end) return hex(address);
  if (address == r->first) return hex(address) + " (" + r->second.name + ")";
  return hex(address) + " (" + r->second.name + "+" + hex(address - r->first) + ")";
  return hex(address);
}

namespace {

std::uint64_t descriptor(Addr base, Addr limit, bool code, bool pages) {
  std::uint64_t d = limit & 0xFFFF;
  d |= std::uint64_t{base & 0xFFFFFF} << 16;
  // Present, ring 0, code r/x or data r/w, marked accessed so the CPU need not write it.
  d |= std::uint64_t{code ? 0x9Bu : 0x93u} << 40;
  d |= std::uint64_t{(limit >> 16) & 0xF} << 48;
  d |= std::uint64_t{pages ? 0xCu : 0x4u} << 52; // 32-bit; limit in pages or bytes
  d |= std::uint64_t{base >> 24} << 56;
  return d;
}

// Loads the segment registers the way start-up code does, by running it: the CPU then holds
// the descriptors as its own.
void setUpSegments() {
  const std::uint64_t gdt[] = {0, descriptor(0, 0xFFFFF, true, true),
                               descriptor(0, 0xFFFFF, false, true),
                               descriptor(tebAddress, pageSize - 1, false, false)};
  map(gdtAddress, pageSize, UC_PROT_READ);
  write(gdtAddress, std::string_view(reinterpret_cast<const char *>(gdt), sizeof gdt));
  uc_x86_mmr gdtr{};
  gdtr.base = gdtAddress;
  gdtr.limit = sizeof gdt - 1;
  uc_reg_write(engine(), UC_X86_REG_GDTR, &gdtr);
  const std::uint8_t loadSegments[] = {
      0xB8, dataSelector, 0,    0,    0,                              // mov eax, data
      0x8E, 0xD8,         0x8E, 0xC0, 0x8E, 0xD0,         0x8E, 0xE8, // mov ds/es/ss/gs, ax
      0xB8, tebSelector,  0,    0,    0,                              // mov eax, teb
      0x8E, 0xE0,                                                     // mov fs, ax
      0xEA, 0x1B,         0x20, 0,    0,    codeSelector, 0,          // jmp far code:0x201B
  };
  static_assert(startUpAddress == 0x2000 && sizeof loadSegments == 0x1B);
  map(startUpAddress, pageSize, UC_PROT_READ | UC_PROT_EXEC);
  write(startUpAddress,
        std::string_view(reinterpret_cast<const char *>(loadSegments), sizeof loadSegments));
  Addr end = startUpAddress + sizeof loadSegments;
  if (uc_err err = uc_emu_start(engine(), startUpAddress, end, 0, 0))
    throw Fault("the segment descriptors do not load: " + badAccessText(err, reg(UC_X86_REG_EIP)));
}

// The thread block fields the runtime reads: the exception list, the stack bounds, itself,
// the thread id and the process block.
void setUpThread() {
  map(tebAddress, pageSize, UC_PROT_READ | UC_PROT_WRITE);
  map(pebAddress, pageSize, UC_PROT_READ | UC_PROT_WRITE);
  write32(tebAddress + 0x00, 0xFFFFFFFF);
  write32(tebAddress + 0x04, stackBase);
  write32(tebAddress + 0x08, stackLimit);
  write32(tebAddress + 0x18, tebAddress);
  write32(tebAddress + 0x20, 0x1000); // process id
  write32(tebAddress + 0x24, 0x1004); // thread id
  write32(tebAddress + 0x30, pebAddress);
  map(stackLimit, stackBase - stackLimit, UC_PROT_READ | UC_PROT_WRITE);
  machine().regions[stackLimit] = {stackBase, "stack"};
}

bool onBadAccess(uc_engine *uc, uc_mem_type type, std::uint64_t address, int size, std::int64_t,
                 void *) {
  BadAccess &bad = machine().bad;
  bad = {true, type, static_cast<Addr>(address), size, 0};
  uc_reg_read(uc, UC_X86_REG_EIP, &bad.eip);
  return false;
}

void onInstruction(uc_engine *, std::uint64_t, std::uint32_t, void *) {
  ++machine().instructions;
}

} // namespace

std::string badAccessText(uc_err err, Addr eip) {
  const BadAccess &bad = machine().bad;
  if (!bad.seen) return uc_strerror(err) + std::string(" at ") + describe(eip);
  const char *kind = "access";
  switch (bad.type) {
  case UC_MEM_READ_UNMAPPED:
    kind = "read of unmapped memory";
    break;
  case UC_MEM_WRITE_UNMAPPED:
    kind = "write to unmapped memory";
    break;
  case UC_MEM_FETCH_UNMAPPED:
    kind = "jump to unmapped memory";
    break;
  case UC_MEM_WRITE_PROT:
    kind = "write to read-only memory";
    break;
  case UC_MEM_READ_PROT:
    kind = "read of protected memory";
    break;
  case UC_MEM_FETCH_PROT:
    kind = "jump to memory that is not executable";
    break;
  }
  return std::string(kind) + ", " + std::to_string(bad.size) + " bytes at " +
         describe(bad.address) + ", by the instruction at " + describe(bad.eip);
}

void start() {
  stop();
  uc_engine *uc = nullptr;
  if (uc_open(UC_ARCH_X86, UC_MODE_32, &uc) != UC_ERR_OK) throw Fault("no x86-32 CPU");
  machine().uc.reset(uc);
  uc_hook hook;
  uc_hook_add(uc, &hook, UC_HOOK_MEM_INVALID, reinterpret_cast<void *>(&onBadAccess), nullptr, 1,
              0);
  setUpThread();
  setUpSegments();
  machine().regions[eventWindowEnd - 0x01000000] = {eventWindowEnd, "event records"};
  machine().regions[eventWindowEnd] = {eventWindowEnd + pageSize,
                                       "the unmapped page after the event record"};
  machine().regions[answerWindowEnd - 0x01000000] = {answerWindowEnd, "messenger's answers"};
  machine().regions[answerWindowEnd] = {answerWindowEnd + pageSize,
                                        "the unmapped page after the messenger's answer"};
  machine().regions[heapBase] = {heapBase + heapSize, "heap"};
  machine().regions[hostRoutineBase] = {returnAddressOf(64), "host routines"};
  enterFromMessenger();
}

void stop() {
  machine() = Machine{};
}

bool started() {
  return machine().uc != nullptr;
}

void map(Addr address, Addr size, std::uint32_t protection) {
  if (uc_err err = uc_mem_map(engine(), address, size, protection))
    throw Fault("cannot map " + std::to_string(size) + " bytes at " + hex(address) + ": " +
                uc_strerror(err));
}

void unmap(Addr address, Addr size) {
  uc_mem_unmap(engine(), address, size);
}

void protect(Addr address, Addr size, std::uint32_t protection) {
  if (uc_mem_protect(engine(), address, size, protection) != UC_ERR_OK)
    throw Fault("cannot protect " + std::to_string(size) + " bytes at " + hex(address));
}

MappedRegion regionAt(Addr address) {
  uc_mem_region *regions = nullptr;
  std::uint32_t count = 0;
  MappedRegion found;
  if (uc_mem_regions(engine(), &regions, &count) != UC_ERR_OK) return found;
  for (std::uint32_t i = 0; i < count; ++i)
    if (regions[i].begin <= address && address <= regions[i].end)
      found = {static_cast<Addr>(regions[i].begin),
               static_cast<Addr>(regions[i].end - regions[i].begin + 1), regions[i].perms};
  uc_free(regions);
  return found;
}

std::string read(Addr address, std::size_t size) {
  std::string bytes(size, '\0');
  if (size && uc_mem_read(engine(), address, bytes.data(), size) != UC_ERR_OK)
    throw Fault("reading " + std::to_string(size) + " bytes at " + describe(address) +
                " runs into unmapped memory");
  return bytes;
}

std::uint32_t read32(Addr address) {
  std::string b = read(address, 4);
  return std::uint32_t{static_cast<std::uint8_t>(b[0])} |
         std::uint32_t{static_cast<std::uint8_t>(b[1])} << 8 |
         std::uint32_t{static_cast<std::uint8_t>(b[2])} << 16 |
         std::uint32_t{static_cast<std::uint8_t>(b[3])} << 24;
}

std::string readCString(Addr address) {
  std::string text;
  for (;;) {
    Addr chunk = pageSize - address % pageSize;
    std::string part = read(address, chunk);
    std::size_t nul = part.find('\0');
    text += part.substr(0, nul);
    if (nul != std::string::npos) return text;
    address += chunk;
  }
}

void write(Addr address, std::string_view bytes) {
  if (!bytes.empty() && uc_mem_write(engine(), address, bytes.data(), bytes.size()) != UC_ERR_OK)
    throw Fault("writing " + std::to_string(bytes.size()) + " bytes at " + describe(address) +
                " runs into unmapped or read-only memory");
}

void write32(Addr address, std::uint32_t value) {
  const char b[] = {static_cast<char>(value), static_cast<char>(value >> 8),
                    static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
  write(address, std::string_view(b, 4));
}

Addr placeAtPageEnd(Addr windowEnd, std::string_view bytes) {
  auto &placed = machine().placed;
  if (auto old = placed.find(windowEnd); old != placed.end()) {
    unmap(old->second, windowEnd - old->second);
    placed.erase(old);
  }
  Addr pages = static_cast<Addr>((bytes.size() + pageSize - 1) / pageSize);
  Addr start = windowEnd - (pages ? pages : 1) * pageSize;
  map(start, windowEnd - start, UC_PROT_READ | UC_PROT_WRITE);
  placed[windowEnd] = start;
  Addr first = windowEnd - static_cast<Addr>(bytes.size());
  write(first, bytes);
  return first;
}

void nameRegion(Addr begin, Addr end, std::string name) {
  machine().regions[begin] = {end, std::move(name)};
}

void countInstructionsIn(Addr begin, Addr end) {
  uc_hook hook;
  uc_hook_add(engine(), &hook, UC_HOOK_CODE, reinterpret_cast<void *>(&onInstruction), nullptr,
              begin, end - 1);
}

std::uint64_t instructions() {
  return machine().instructions;
}

} // namespace emu
