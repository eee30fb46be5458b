// Calls between host and guest: host routines the guest calls, calls into the guest, and the
// checks of the Windows calling conventions on both ways and in the watched callers.
#include "tests/emulator/cpu.h"

#include "tests/emulator/machine.h"

#include <unicorn/unicorn.h>

#include <algorithm>

namespace emu {

namespace {

// Calls from the host return here, one address per nesting level; never mapped.
constexpr Addr returnAddressBase = hostRoutineBase + 0x00F00000;
constexpr std::uint32_t directionFlag = 1u << 10;
// What the callee-saved registers hold when the host calls into the guest.
constexpr std::uint32_t savedEbx = 0xB1B1B1B1, savedEsi = 0x51515151, savedEdi = 0xD1D1D1D1,
                        savedEbp = 0xBEBEBEBE;
// What ECX and EDX hold when a host routine returns: scratch registers carry nothing back.
constexpr std::uint32_t clobbered = 0xC1C1C1C1;

} // namespace

Addr returnAddressOf(int depth) {
  return returnAddressBase + static_cast<Addr>(depth) * hostRoutineStride;
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

namespace {

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

void restore(const Preserved &p) {
  setReg(UC_X86_REG_EBX, p.ebx);
  setReg(UC_X86_REG_ESI, p.esi);
  setReg(UC_X86_REG_EDI, p.edi);
  setReg(UC_X86_REG_EBP, p.ebp);
  uc_reg_write(engine(), UC_X86_REG_FPCW, &p.fpuControl);
  setReg(UC_X86_REG_MXCSR, p.mxcsr);
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
  try {
    runUntil(back);
  } catch (const GuestExit &) {
    restore(before);
    setReg(UC_X86_REG_ESP, esp0);
    setReg(UC_X86_REG_EIP, eip);
    std::erase_if(m.pending, [esp0](const PendingReturn &p) { return p.esp < esp0; });
    return 0;
  }
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

void checkCallersIn(Addr begin, Addr end, std::vector<FunctionRange> functions) {
  Machine &m = machine();
  auto index = m.watched.size();
  m.watched.push_back({begin, end, std::move(functions), std::vector<std::uint8_t>(end - begin)});
  uc_hook hook;
  uc_hook_add(engine(), &hook, UC_HOOK_CODE, reinterpret_cast<void *>(&onWatchedInstruction),
              reinterpret_cast<void *>(index), begin, end - 1);
}

} // namespace emu
