#include "tests/emulator/cpu.h"

#include <unicorn/unicorn.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace emu {

namespace {

constexpr Addr gdtAddress = 0x00001000;
constexpr Addr startUpAddress = 0x00002000;
constexpr Addr pebAddress = 0x7FFDF000;
constexpr std::uint32_t codeSelector = 0x08, dataSelector = 0x10, tebSelector = 0x18;
// Calls from the host return here, one address per nesting level; never mapped.
constexpr Addr returnAddressBase = hostRoutineBase + 0x00F00000;
constexpr std::uint32_t directionFlag = 1u << 10;
// What the callee-saved registers hold when the host calls into the guest.
constexpr std::uint32_t savedEbx = 0xB1B1B1B1, savedEsi = 0x51515151, savedEdi = 0xD1D1D1D1,
                        savedEbp = 0xBEBEBEBE;
// What ECX and EDX hold when a host routine returns: scratch registers carry nothing back.
constexpr std::uint32_t clobbered = 0xC1C1C1C1;

struct EngineClose {
  void operator()(uc_engine *uc) const { uc_close(uc); }
};

struct HostRoutineEntry {
  std::string name;
  Convention convention;
  int argumentCount;
  HostRoutine routine;
};

struct BadAccess {
  bool seen = false;
  int type = 0;
  Addr address = 0;
  int size = 0;
  Addr eip = 0;
};

struct Region {
  Addr end;
  std::string name;
};

// A host routine that has returned to a watched caller: by the caller's next call in the same
// function, ESP must be back at `esp`, where it was before the call.
struct PendingReturn {
  Addr esp;
  FunctionRange caller;
  std::string routine;
};

// Guest code whose calls are watched; each instruction's kind is decoded once.
struct Watched {
  Addr begin;
  Addr end;
  std::vector<FunctionRange> functions;
  std::vector<std::uint8_t> kinds; // by offset: 0 not yet decoded
};

struct Machine {
  std::unique_ptr<uc_engine, EngineClose> uc;
  std::vector<HostRoutineEntry> routines;
  std::map<Addr, Addr> placed; // window end -> start of what is mapped below it
  std::map<Addr, Region> regions;
  std::uint64_t instructions = 0;
  int depth = 0;
  BadAccess bad;
  std::vector<Watched> watched;
  std::vector<PendingReturn> pending;
  std::string stackFault; // found by a hook, thrown once the CPU has stopped
};

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

std::string badAccessText(uc_err err, Addr eip);

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

Addr returnAddressOf(int depth) {
  return returnAddressBase + static_cast<Addr>(depth) * hostRoutineStride;
}

const HostRoutineEntry *routineAt(Addr eip) {
  if (eip < hostRoutineBase || (eip - hostRoutineBase) % hostRoutineStride) return nullptr;
  std::size_t index = (eip - hostRoutineBase) / hostRoutineStride;
  const auto &routines = machine().routines;
  return index < routines.size() ? &routines[index] : nullptr;
}

const FunctionRange *watchedFunctionAt(Addr address) {
  for (const Watched &w : machine().watched) {
    if (address < w.begin || address >= w.end) continue;
    auto f = std::upper_bound(w.functions.begin(), w.functions.end(), address,
                              [](Addr a, const FunctionRange &range) { return a < range.begin; });
    if (f == w.functions.begin() || address >= (--f)->end) return nullptr;
    return &*f;
  }
  return nullptr;
}

enum Kind : std::uint8_t { unknownKind, otherKind, callKind, returnKind };

// The instruction's kind, past its prefixes: a near call (E8, FF /2) or a near return (C3, C2).
Kind decode(uc_engine *uc, Addr address) {
  std::uint8_t code[16] = {};
  uc_mem_read(uc, address, code, sizeof code);
  std::size_t i = 0;
  auto prefix = [](std::uint8_t b) {
    return b == 0xF2 || b == 0xF3 || b == 0x66 || b == 0x67 || b == 0x2E || b == 0x36 ||
           b == 0x3E || b == 0x26 || b == 0x64 || b == 0x65 || b == 0xF0;
  };
  while (i < 14 && prefix(code[i])) ++i;
  if (code[i] == 0xE8 || (code[i] == 0xFF && ((code[i + 1] >> 3) & 7) == 2)) return callKind;
  if (code[i] == 0xC3 || code[i] == 0xC2) return returnKind;
  return otherKind;
}

std::string stackFaultText(const PendingReturn &p, Addr esp) {
  return "the caller of " + p.routine + " (the function at " + describe(p.caller.begin) +
         ") keeps ESP " + std::to_string(esp - p.esp) +
         " bytes above where it had it before the call: it and " + p.routine +
         " disagree on who removes the arguments";
}

// At a return, the frames it leaves are done; at a call, the caller's ESP must be back.
void onWatchedInstruction(uc_engine *uc, std::uint64_t address, std::uint32_t, void *index) {
  Machine &m = machine();
  if (m.pending.empty() || !m.stackFault.empty()) return;
  Watched &w = m.watched[reinterpret_cast<std::uintptr_t>(index)];
  auto at = static_cast<Addr>(address);
  std::uint8_t &kind = w.kinds[at - w.begin];
  if (kind == unknownKind) kind = decode(uc, at);
  if (kind == otherKind) return;
  Addr esp = 0;
  uc_reg_read(uc, UC_X86_REG_ESP, &esp);
  auto &pending = m.pending;
  if (kind == returnKind) {
    std::erase_if(pending, [esp](const PendingReturn &p) { return p.esp <= esp; });
    return;
  }
  while (!pending.empty()) {
    const PendingReturn &p = pending.back();
    bool inCaller = at >= p.caller.begin && at < p.caller.end;
    if (inCaller && esp > p.esp) {
      m.stackFault = stackFaultText(p, esp);
      uc_emu_stop(uc);
      return;
    }
    if (inCaller ? esp != p.esp : esp < p.esp) return; // a deeper frame
    pending.pop_back(); // back where it was, or a frame gone by a tail jump
    if (inCaller) return;
  }
}

void serve(const HostRoutineEntry &r) {
  Call call{reg(UC_X86_REG_ESP)};
  expectCallerState(r.name);
  Addr back = call.returnAddress();
  std::uint32_t result = r.routine(call);
  Addr popped = 4 + (r.convention == Convention::stdcall ? 4 * r.argumentCount : 0);
  setReg(UC_X86_REG_EAX, result);
  setReg(UC_X86_REG_ECX, clobbered);
  setReg(UC_X86_REG_EDX, clobbered);
  setReg(UC_X86_REG_ESP, call.esp + static_cast<Addr>(popped));
  setReg(UC_X86_REG_EIP, back);
  if (const FunctionRange *caller = watchedFunctionAt(back))
    machine().pending.push_back({call.esp + 4, *caller, r.name});
}

// Runs from EIP until the guest returns to stopAt, serving the host routines it calls.
void runUntil(Addr stopAt) {
  for (;;) {
    machine().bad = {};
    uc_err err = uc_emu_start(engine(), reg(UC_X86_REG_EIP), 0, 0, 0);
    Addr eip = reg(UC_X86_REG_EIP);
    if (!machine().stackFault.empty()) {
      std::string fault = std::move(machine().stackFault);
      machine().stackFault.clear();
      machine().pending.clear();
      throw Fault(fault);
    }
    if (err == UC_ERR_FETCH_UNMAPPED && eip == stopAt) return;
    const HostRoutineEntry *r = err == UC_ERR_FETCH_UNMAPPED ? routineAt(eip) : nullptr;
    if (!r) throw Fault(badAccessText(err, eip));
    serve(*r);
  }
}

struct Preserved {
  std::uint32_t ebx, esi, edi, ebp;
  std::uint16_t fpuControl;
  std::uint32_t mxcsr;
};

Preserved preserved() {
  Preserved p{
      reg(UC_X86_REG_EBX), reg(UC_X86_REG_ESI), reg(UC_X86_REG_EDI), reg(UC_X86_REG_EBP), 0, 0};
  uc_reg_read(engine(), UC_X86_REG_FPCW, &p.fpuControl);
  uc_reg_read(engine(), UC_X86_REG_MXCSR, &p.mxcsr);
  return p;
}

void enterFromMessenger() {
  setReg(UC_X86_REG_EBX, savedEbx);
  setReg(UC_X86_REG_ESI, savedEsi);
  setReg(UC_X86_REG_EDI, savedEdi);
  setReg(UC_X86_REG_EBP, savedEbp);
  setReg(UC_X86_REG_EFLAGS, reg(UC_X86_REG_EFLAGS) & ~directionFlag);
  std::uint16_t fpuControl = messengerFpuControl;
  uc_reg_write(engine(), UC_X86_REG_FPCW, &fpuControl);
  setReg(UC_X86_REG_MXCSR, messengerMxcsr);
  setReg(UC_X86_REG_ESP, stackBase - 64);
}

void checkReturn(const std::string &what, const Preserved &before, Addr espExpected) {
  std::vector<std::string> broken;
  auto expect = [&](bool ok, const std::string &text) {
    if (!ok) broken.push_back(text);
  };
  Preserved after = preserved();
  Addr esp = reg(UC_X86_REG_ESP);
  auto off = static_cast<std::int32_t>(esp - espExpected);
  expect(off == 0, "ESP is " + std::to_string(off < 0 ? -off : off) + " bytes " +
                       (off < 0 ? "below" : "above") + " where the convention puts it");
  expect(after.ebx == before.ebx, "EBX changed");
  expect(after.esi == before.esi, "ESI changed");
  expect(after.edi == before.edi, "EDI changed");
  expect(after.ebp == before.ebp, "EBP changed");
  expect(!(reg(UC_X86_REG_EFLAGS) & directionFlag), "the direction flag is set");
  expect(after.fpuControl == before.fpuControl,
         "the x87 control word changed to " + hex(after.fpuControl));
  expect(after.mxcsr == before.mxcsr, "MXCSR changed to " + hex(after.mxcsr));
  if (broken.empty()) return;
  std::string text = what + " broke the calling convention:";
  for (const std::string &b : broken) text += " " + b + ";";
  throw Fault(text);
}

} // namespace

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

Addr addHostRoutine(std::string name, Convention convention, int argumentCount,
                    HostRoutine routine) {
  auto &routines = machine().routines;
  routines.push_back({std::move(name), convention, argumentCount, routine});
  return hostRoutineBase + static_cast<Addr>(routines.size() - 1) * hostRoutineStride;
}

std::uint32_t call(Addr fn, const std::vector<std::uint32_t> &args, Convention convention,
                   const std::string &what) {
  Machine &m = machine();
  Addr eip = reg(UC_X86_REG_EIP);
  Addr esp0 = reg(UC_X86_REG_ESP);
  if (m.depth == 0) {
    enterFromMessenger();
    esp0 = reg(UC_X86_REG_ESP);
    m.pending.clear();
  }
  Preserved before = preserved();
  Addr esp = esp0;
  for (auto a = args.rbegin(); a != args.rend(); ++a) write32(esp -= 4, *a);
  Addr back = returnAddressOf(m.depth);
  write32(esp -= 4, back);
  setReg(UC_X86_REG_ESP, esp);
  setReg(UC_X86_REG_EIP, fn);
  struct Depth {
    int &depth;
    explicit Depth(int &d) : depth(++d) {}
    ~Depth() { --depth; }
  } nested(m.depth);
  runUntil(back);
  Addr popped = convention == Convention::stdcall ? 4 * static_cast<Addr>(args.size()) : 0;
  checkReturn(what, before, esp0 - 4 * static_cast<Addr>(args.size()) + popped);
  std::uint32_t result = reg(UC_X86_REG_EAX);
  setReg(UC_X86_REG_ESP, esp0);
  setReg(UC_X86_REG_EIP, eip);
  return result;
}

void expectCallerState(const std::string &what) {
  std::vector<std::string> broken;
  Preserved now = preserved();
  if (reg(UC_X86_REG_EFLAGS) & directionFlag) broken.push_back("the direction flag is set");
  if (now.fpuControl != messengerFpuControl)
    broken.push_back("the x87 control word is " + hex(now.fpuControl));
  if (now.mxcsr != messengerMxcsr) broken.push_back("MXCSR is " + hex(now.mxcsr));
  if (broken.empty()) return;
  std::string text = what + " was called in a broken state:";
  for (const std::string &b : broken) text += " " + b + ";";
  throw Fault(text);
}

void nameRegion(Addr begin, Addr end, std::string name) {
  machine().regions[begin] = {end, std::move(name)};
}

void countInstructionsIn(Addr begin, Addr end) {
  uc_hook hook;
  uc_hook_add(engine(), &hook, UC_HOOK_CODE, reinterpret_cast<void *>(&onInstruction), nullptr,
              begin, end - 1);
}

void checkCallersIn(Addr begin, Addr end, std::vector<FunctionRange> functions) {
  Machine &m = machine();
  auto index = m.watched.size();
  m.watched.push_back({begin, end, std::move(functions), std::vector<std::uint8_t>(end - begin)});
  uc_hook hook;
  uc_hook_add(engine(), &hook, UC_HOOK_CODE, reinterpret_cast<void *>(&onWatchedInstruction),
              reinterpret_cast<void *>(index), begin, end - 1);
}

std::uint64_t instructions() {
  return machine().instructions;
}

} // namespace emu
