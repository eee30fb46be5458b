#include "player/winamp/playlist.h"

#include <algorithm>
#include <string_view>

namespace {

// The player's process, opened for telling its bitness and reading its memory; closed on every
// path.
struct PlayerProcess {
  HANDLE handle;
  explicit PlayerProcess(DWORD id)
      : handle(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id)) {}
  ~PlayerProcess() {
    if (handle) CloseHandle(handle);
  }
  PlayerProcess(const PlayerProcess &) = delete;
  PlayerProcess &operator=(const PlayerProcess &) = delete;
};

using IsWow64ProcessFunction = BOOL(WINAPI *)(HANDLE, PBOOL);

std::optional<bool> runsUnderWow64(IsWow64ProcessFunction isWow64Process, HANDLE process) {
  BOOL wow64 = FALSE;
  if (!isWow64Process(process, &wow64)) return std::nullopt;
  return wow64 != FALSE;
}

// The player's answer to requestPlaylistTitle is as wide as its pointers, and the plug-in's
// result keeps only its low 32 bits: an address from a player of the other bitness points at
// whatever else lies there.
bool ofOwnBitness(HANDLE player) {
  auto isWow64Process = reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
  // Windows before XP SP2 has none, and no WOW64 either: every process is of one bitness.
  if (!isWow64Process) return true;
  return sameBitness(runsUnderWow64(isWow64Process, GetCurrentProcess()),
                     runsUnderWow64(isWow64Process, player));
}

// The player can exit between the lookup of its id and the open, and Windows can hand the id on
// to another program: the process opened is the player's only while its window still names it.
bool stillOwnedBy(HWND window, DWORD processId) {
  DWORD now = 0;
  return GetWindowThreadProcessId(window, &now) && now == processId;
}

// The text at the address up to its NUL or the limit, a page at a time; nothing when a page it
// needs cannot be read.
std::string readText(HANDLE process, std::uintptr_t address) {
  std::string text;
  char chunk[titleLimit];
  while (text.size() < titleLimit) {
    std::uintptr_t at = address + text.size();
    SIZE_T wanted = titleChunk(at, text.size());
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<LPCVOID>(at), chunk, wanted, &got) ||
        got != wanted)
      return {};
    std::string_view piece(chunk, got);
    std::size_t end = piece.find('\0');
    text.append(piece.substr(0, end));
    if (end != std::string_view::npos) break;
  }
  return text;
}

} // namespace

std::string readPlayerText(HWND window, std::uintptr_t address) {
  DWORD processId = 0;
  if (!GetWindowThreadProcessId(window, &processId)) return {};
  PlayerProcess process(processId);
  if (!process.handle || !stillOwnedBy(window, processId) || !ofOwnBitness(process.handle))
    return {};
  return readText(process.handle, address);
}

bool sameBitness(std::optional<bool> ownWow64, std::optional<bool> playerWow64) {
  return ownWow64 && playerWow64 && *ownWow64 == *playerWow64;
}

std::size_t titleChunk(std::uintptr_t at, std::size_t taken) {
  std::uintptr_t toPageEnd = memoryPageSize - at % memoryPageSize;
  return static_cast<std::size_t>(std::min<std::uintptr_t>(toPageEnd, titleLimit - taken));
}
