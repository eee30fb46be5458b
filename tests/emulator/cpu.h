#pragma once
// An x86-32 CPU (Unicorn) with the memory of a Windows process around one DLL: flat segments, a
// thread block behind FS, a stack, and addresses where calls leave the guest for host routines.
// Every call into the guest is checked on its way back against the Windows calling conventions.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

using Addr = std::uint32_t;

// The guest did something that fails the run: a fault, a broken convention, an unbound call.
class Fault : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Thrown by a host routine that ends the guest's thread: the call that runs the thread's routine
// ends there, the caller's registers as they were.
struct GuestExit {};

// stdcall: the callee removes its arguments; cdecl: the caller does.
enum class Convention { stdcall, cdecl };

inline constexpr Addr pageSize = 0x1000;
inline constexpr Addr tebAddress = 0x7FFDE000;
// The thread's last-error value, where GetLastError reads it.
inline constexpr Addr lastErrorAddress = tebAddress + 0x34;
inline constexpr Addr stackLimit = 0x00100000;
inline constexpr Addr stackBase = 0x00200000;
// Records handed to the guest end where these windows end; the page after each stays unmapped.
inline constexpr Addr eventWindowEnd = 0x02000000;
inline constexpr Addr answerWindowEnd = 0x04000000;
// A view of a file mapping ends here, so that a read past its bytes is a fault.
inline constexpr Addr viewWindowEnd = 0x04800000;
inline constexpr Addr dataArea = 0x05000000; // small blocks the host routines hand out
inline constexpr Addr comArea = 0x05100000;  // COM objects handed to the guest, their vtables
// The media sessions' objects and HSTRINGs handed to the guest, and the objects' vtables.
inline constexpr Addr sessionArea = 0x05200000;
inline constexpr Addr sessionAreaSize = 0x40000;
inline constexpr Addr heapBase = 0x10000000;
inline constexpr Addr heapSize = 0x10000000;
inline constexpr Addr hostRoutineBase = 0x7F000000; // never mapped: a call there leaves the guest
inline constexpr Addr hostRoutineStride = 16;

// The floating-point modes the messenger runs with; none is the CPU's default, so a plug-in
// that resets them shows.
inline constexpr std::uint16_t messengerFpuControl = 0x1372;
inline constexpr std::uint32_t messengerMxcsr = 0x1900;

// A fresh CPU and memory: descriptors, thread block and stack; nothing else is mapped.
void start();
void stop();
bool started();

void map(Addr address, Addr size, std::uint32_t protection);
void unmap(Addr address, Addr size);
void protect(Addr address, Addr size, std::uint32_t protection);
struct MappedRegion {
  Addr begin = 0;
  Addr size = 0; // 0: address not mapped
  std::uint32_t protection = 0;
};
MappedRegion regionAt(Addr address);
// Reads and writes that touch unmapped memory throw a Fault naming what was attempted.
std::string read(Addr address, std::size_t size);
std::uint32_t read32(Addr address);
std::string readCString(Addr address);
void write(Addr address, std::string_view bytes);
void write32(Addr address, std::uint32_t value);
// Copies bytes so that they end at the end of a mapped page below windowEnd, with the page at
// windowEnd unmapped; whatever the window held before is gone. Gives the first byte's address.
Addr placeAtPageEnd(Addr windowEnd, std::string_view bytes);

// A call that left the guest: its stack as the host routine found it.
struct Call {
  Addr esp;
  Addr returnAddress() const { return read32(esp); }
  std::uint32_t arg(int i) const { return read32(esp + 4 + 4 * static_cast<Addr>(i)); }
};
using HostRoutine = std::uint32_t (*)(const Call &);

// A guest address whose call runs the routine on the host and returns with its result in EAX,
// the arguments removed as the convention says and ECX and EDX clobbered.
Addr addHostRoutine(std::string name, Convention convention, int argumentCount,
                    HostRoutine routine);

// Calls fn with the arguments; checks on its return that ESP is where the convention puts it,
// that EBX, ESI, EDI and EBP hold what they held, that the direction flag is clear and that
// the x87 control word and MXCSR are unchanged. Throws a Fault naming `what` otherwise.
std::uint32_t call(Addr fn, const std::vector<std::uint32_t> &args, Convention convention,
                   const std::string &what);
// What a host routine that the guest called must find at its entry: the direction flag clear
// and the messenger's floating-point modes.
void expectCallerState(const std::string &what);

// A function of guest code, [begin, end).
struct FunctionRange {
  Addr begin;
  Addr end;
};
// Watches the callers in [begin, end), whose functions are given sorted: each call of a host
// routine must leave its caller's ESP where it was before the call by the caller's next call
// in the same function. A caller that takes a stdcall routine for cdecl keeps ESP above it
// until its epilogue, which a frame pointer hides at its return.
void checkCallersIn(Addr begin, Addr end, std::vector<FunctionRange> functions);

// Names the addresses in [begin, end) in fault reports.
void nameRegion(Addr begin, Addr end, std::string name);
// Guest instructions executed in [begin, end) since start().
void countInstructionsIn(Addr begin, Addr end);
std::uint64_t instructions();

} // namespace emu
