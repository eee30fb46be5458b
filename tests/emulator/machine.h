#pragma once
// The CPU's state behind cpu.h, shared by cpu.cpp (the CPU and its memory) and calls.cpp (the
// calls between host and guest); the host routines see only cpu.h.
#include "tests/emulator/cpu.h"

#include <unicorn/unicorn.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace emu {

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

Machine &machine();
// The started CPU; a Fault when there is none.
uc_engine *engine();
std::uint32_t reg(int id);
void setReg(int id, std::uint32_t value);
std::string hex(std::uint32_t value);
// The address, with the name of the region it lies in if it lies in one.
std::string describe(Addr address);
// Why the CPU stopped, in words: the bad access that the hook saw, or the CPU's own error.
std::string badAccessText(uc_err err, Addr eip);
// Where a call from the host at this nesting depth returns to.
Addr returnAddressOf(int depth);
// The registers and modes the messenger calls the plug-in with, on a fresh stack.
void enterFromMessenger();

} // namespace emu
