// The Win32 functions the plug-in imports, forwarded to the simulated Win32 of the native tests:
// guest pointers, strings, handles and 32-bit structures translated on the way in and out.
#include "tests/emulator/bindings.h"

#include "win32sim.h"

#include <cstring>
#include <map>

namespace emu {

namespace {

constexpr std::uintptr_t hostInvalid = ~std::uintptr_t{0};
constexpr std::uint32_t guestInvalid = 0xFFFFFFFF;
// Handles with the same value in both worlds: none, and the predefined registry root.
constexpr std::uintptr_t classesRoot = 0x80000000;
// A guest handle that was never handed out stands for a host handle that names nothing.
constexpr std::uintptr_t unknownHandle = std::uintptr_t{0xBAD0} << 48;
constexpr MMRESULT invalidParameter = 11; // MMSYSERR_INVALPARAM

constexpr std::uint32_t mixerLineSize = 168, lineControlsSize = 24, mixerControlSize = 148,
                        controlDetailsSize = 24;

struct State {
  std::map<std::uintptr_t, std::uint32_t> toGuest;
  std::map<std::uint32_t, std::uintptr_t> toHost;
  std::uint32_t next = 0x00C00004;
  Addr module = 0;
  std::vector<MixerCall> mixerCalls;
  std::map<std::string, Addr> procedures; // handed out by GetProcAddress, by name
};

State &state() {
  static State s;
  return s;
}

std::uint32_t guestHandle(const void *host) {
  auto h = reinterpret_cast<std::uintptr_t>(host);
  if (h == 0 || h == classesRoot) return static_cast<std::uint32_t>(h);
  if (h == hostInvalid) return guestInvalid;
  State &s = state();
  auto known = s.toGuest.find(h);
  if (known != s.toGuest.end()) return known->second;
  std::uint32_t g = s.next;
  s.next += 4;
  s.toGuest[h] = g;
  s.toHost[g] = h;
  return g;
}

template <class T> T hostHandle(std::uint32_t guest) {
  std::uintptr_t h = unknownHandle | guest;
  if (guest == 0 || guest == classesRoot) h = guest;
  if (guest == guestInvalid) h = hostInvalid;
  auto known = state().toHost.find(guest);
  if (known != state().toHost.end()) h = known->second;
  return reinterpret_cast<T>(h);
}

// A string argument: null stays null.
struct Text {
  bool null;
  std::string bytes;
  explicit Text(Addr p) : null(p == 0), bytes(p ? readCString(p) : std::string()) {}
  const char *get() const { return null ? nullptr : bytes.c_str(); }
};

std::int32_t signedArg(const Call &c, int i) {
  return static_cast<std::int32_t>(c.arg(i));
}

std::uint32_t findWindowA(const Call &c) {
  return guestHandle(FindWindowA(Text(c.arg(0)).get(), Text(c.arg(1)).get()));
}

std::uint32_t getWindowTextA(const Call &c) {
  int maxCount = signedArg(c, 2);
  std::string buffer(maxCount > 0 ? static_cast<std::size_t>(maxCount) : 0, '\0');
  int n = GetWindowTextA(hostHandle<HWND>(c.arg(0)), buffer.data(), maxCount);
  if (maxCount > 0) write(c.arg(1), buffer.substr(0, static_cast<std::size_t>(n) + 1));
  return static_cast<std::uint32_t>(n);
}

std::uint32_t sendMessageTimeoutA(const Call &c) {
  Addr result = c.arg(6);
  DWORD_PTR answer = result ? read32(result) : 0;
  LRESULT sent =
      SendMessageTimeoutA(hostHandle<HWND>(c.arg(0)), c.arg(1), WPARAM{c.arg(2)},
                          LPARAM{signedArg(c, 3)}, c.arg(4), c.arg(5), result ? &answer : nullptr);
  if (result) write32(result, static_cast<std::uint32_t>(answer));
  return static_cast<std::uint32_t>(sent);
}

std::uint32_t loadIconA(const Call &c) {
  HINSTANCE instance = c.arg(0) == state().module ? thisModule() : hostHandle<HINSTANCE>(c.arg(0));
  return guestHandle(LoadIconA(instance, MAKEINTRESOURCEA(c.arg(1))));
}

std::uint32_t destroyIcon(const Call &c) {
  return static_cast<std::uint32_t>(DestroyIcon(hostHandle<HICON>(c.arg(0))));
}

std::uint32_t messageBoxA(const Call &c) {
  return static_cast<std::uint32_t>(MessageBoxA(hostHandle<HWND>(c.arg(0)), Text(c.arg(1)).get(),
                                                Text(c.arg(2)).get(), c.arg(3)));
}

// A counted string, or up to its terminator when the count is negative.
std::string countedText(Addr p, std::int32_t n) {
  return n < 0 ? readCString(p) : read(p, static_cast<std::size_t>(n));
}

std::uint32_t compareStringA(const Call &c) {
  std::string a = countedText(c.arg(2), signedArg(c, 3));
  std::string b = countedText(c.arg(4), signedArg(c, 5));
  return static_cast<std::uint32_t>(
      CompareStringA(c.arg(0), c.arg(1), c.arg(2) ? a.data() : nullptr, static_cast<int>(a.size()),
                     c.arg(4) ? b.data() : nullptr, static_cast<int>(b.size())));
}

std::uint32_t regOpenKeyExA(const Call &c) {
  HKEY key = nullptr;
  LSTATUS status =
      RegOpenKeyExA(hostHandle<HKEY>(c.arg(0)), Text(c.arg(1)).get(), c.arg(2), c.arg(3), &key);
  if (status == ERROR_SUCCESS) write32(c.arg(4), guestHandle(key));
  return static_cast<std::uint32_t>(status);
}

std::uint32_t regQueryValueExA(const Call &c) {
  Addr typeAt = c.arg(3), dataAt = c.arg(4), sizeAt = c.arg(5);
  DWORD size = sizeAt ? read32(sizeAt) : 0;
  DWORD type = 0;
  std::string data(dataAt ? size : 0, '\0');
  LSTATUS status = RegQueryValueExA(
      hostHandle<HKEY>(c.arg(0)), Text(c.arg(1)).get(), nullptr, typeAt ? &type : nullptr,
      dataAt ? reinterpret_cast<LPBYTE>(data.data()) : nullptr, sizeAt ? &size : nullptr);
  if (typeAt && (status == ERROR_SUCCESS || status == ERROR_MORE_DATA)) write32(typeAt, type);
  if (dataAt && status == ERROR_SUCCESS) write(dataAt, data.substr(0, size));
  if (sizeAt) write32(sizeAt, size);
  return static_cast<std::uint32_t>(status);
}

std::uint32_t regCloseKey(const Call &c) {
  return static_cast<std::uint32_t>(RegCloseKey(hostHandle<HKEY>(c.arg(0))));
}

std::uint32_t shellExecuteA(const Call &c) {
  HINSTANCE result =
      ShellExecuteA(hostHandle<HWND>(c.arg(0)), Text(c.arg(1)).get(), Text(c.arg(2)).get(),
                    Text(c.arg(3)).get(), Text(c.arg(4)).get(), signedArg(c, 5));
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(result));
}

std::uint32_t sleep(const Call &c) {
  Sleep(c.arg(0));
  return 0;
}

std::uint32_t createFileA(const Call &c) {
  return guestHandle(CreateFileA(Text(c.arg(0)).get(), c.arg(1), c.arg(2), nullptr, c.arg(4),
                                 c.arg(5), hostHandle<HANDLE>(c.arg(6))));
}

std::uint32_t getFileSize(const Call &c) {
  DWORD high = 0;
  DWORD low = GetFileSize(hostHandle<HANDLE>(c.arg(0)), c.arg(1) ? &high : nullptr);
  if (c.arg(1)) write32(c.arg(1), high);
  return low;
}

std::uint32_t readFile(const Call &c) {
  std::string buffer(c.arg(2), '\0');
  DWORD done = 0;
  BOOL ok = ReadFile(hostHandle<HANDLE>(c.arg(0)), buffer.data(), c.arg(2), &done, nullptr);
  write(c.arg(1), buffer.substr(0, done));
  if (c.arg(3)) write32(c.arg(3), done);
  return static_cast<std::uint32_t>(ok);
}

std::uint32_t closeHandle(const Call &c) {
  if (closeRuntimeHandle(c.arg(0))) return TRUE;
  return static_cast<std::uint32_t>(CloseHandle(hostHandle<HANDLE>(c.arg(0))));
}

std::uint32_t expandEnvironmentStringsA(const Call &c) {
  DWORD size = c.arg(2);
  std::string buffer(c.arg(1) ? size : 0, '\0');
  DWORD needed =
      ExpandEnvironmentStringsA(Text(c.arg(0)).get(), c.arg(1) ? buffer.data() : nullptr, size);
  if (c.arg(1) && needed <= size) write(c.arg(1), buffer.substr(0, needed));
  return needed;
}

// 32-bit structures as bytes: DWORD fields at their 32-bit offsets.
std::uint32_t field(const std::string &record, std::size_t offset) {
  std::uint32_t v = 0;
  std::memcpy(&v, record.data() + offset, 4);
  return v;
}

void setField(std::string &record, std::size_t offset, std::uint32_t v) {
  std::memcpy(record.data() + offset, &v, 4);
}

HMIXEROBJ mixerOf(const Call &c) {
  return reinterpret_cast<HMIXEROBJ>(std::uintptr_t{c.arg(0)});
}

MixerCall &logMixerCall(const char *function, Addr record, std::uint32_t size) {
  return state().mixerCalls.emplace_back(MixerCall{function, read(record, size), {}});
}

// MIXERLINEA: five DWORDs, dwUser, four DWORDs, two names and the target, at 32-bit offsets.
std::uint32_t getLineInfo(const Call &c) {
  std::string r = read(c.arg(1), 4);
  if (field(r, 0) != mixerLineSize) {
    logMixerCall("mixerGetLineInfoA", c.arg(1), 4);
    return invalidParameter;
  }
  r = logMixerCall("mixerGetLineInfoA", c.arg(1), mixerLineSize).record;
  MIXERLINEA line{};
  DWORD *before[] = {&line.dwDestination, &line.dwSource, &line.dwLineID, &line.fdwLine};
  DWORD *after[] = {&line.dwComponentType, &line.cChannels, &line.cConnections, &line.cControls};
  line.cbStruct = sizeof line;
  for (std::size_t i = 0; i < 4; ++i)
    *before[i] = field(r, 4 + 4 * i), *after[i] = field(r, 24 + 4 * i);
  line.dwUser = field(r, 20);
  std::memcpy(line.szShortName, r.data() + 40, 16 + 64);
  line.Target.dwType = field(r, 120);
  line.Target.dwDeviceID = field(r, 124);
  std::memcpy(&line.Target.wMid, r.data() + 128, 4);
  line.Target.vDriverVersion = field(r, 132);
  std::memcpy(line.Target.szPname, r.data() + 136, 32);
  MMRESULT result = mixerGetLineInfoA(mixerOf(c), &line, c.arg(2));
  for (std::size_t i = 0; i < 4; ++i)
    setField(r, 4 + 4 * i, *before[i]), setField(r, 24 + 4 * i, *after[i]);
  setField(r, 20, static_cast<std::uint32_t>(line.dwUser));
  std::memcpy(r.data() + 40, line.szShortName, 16 + 64);
  setField(r, 120, line.Target.dwType);
  setField(r, 124, line.Target.dwDeviceID);
  std::memcpy(r.data() + 128, &line.Target.wMid, 4);
  setField(r, 132, line.Target.vDriverVersion);
  std::memcpy(r.data() + 136, line.Target.szPname, 32);
  write(c.arg(1), r);
  return result;
}

// MIXERLINECONTROLSA: five DWORDs and the address of the MIXERCONTROLA array, whose layout is
// the same for both worlds.
std::uint32_t getLineControls(const Call &c) {
  std::string r = read(c.arg(1), lineControlsSize);
  MixerCall &logged = logMixerCall("mixerGetLineControlsA", c.arg(1), lineControlsSize);
  if (field(r, 0) != lineControlsSize || field(r, 16) != mixerControlSize) return invalidParameter;
  Addr controlsAt = field(r, 20);
  std::string controls = read(controlsAt, std::size_t{field(r, 12)} * mixerControlSize);
  logged.pointed = controls;
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwLineID = field(r, 4);
  request.dwControlType = field(r, 8);
  request.cControls = field(r, 12);
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  std::vector<MIXERCONTROLA> host(request.cControls);
  std::memcpy(host.data(), controls.data(), controls.size());
  request.pamxctrl = host.empty() ? nullptr : host.data();
  MMRESULT result = mixerGetLineControlsA(mixerOf(c), &request, c.arg(2));
  setField(r, 4, request.dwLineID);
  setField(r, 8, request.dwControlType);
  write(c.arg(1), r);
  std::memcpy(controls.data(), host.data(), controls.size());
  write(controlsAt, controls);
  return result;
}

// MIXERCONTROLDETAILS: five DWORDs (the fourth shares its place with the owner window) and
// the address of the values.
std::uint32_t setControlDetails(const Call &c) {
  std::string r = read(c.arg(1), controlDetailsSize);
  MixerCall &logged = logMixerCall("mixerSetControlDetails", c.arg(1), controlDetailsSize);
  if (field(r, 0) != controlDetailsSize) return invalidParameter;
  std::uint32_t items = field(r, 12) ? field(r, 12) : 1;
  std::string values = read(field(r, 20), std::size_t{field(r, 16)} * field(r, 8) * items);
  logged.pointed = values;
  MIXERCONTROLDETAILS details{};
  details.cbStruct = sizeof details;
  details.dwControlID = field(r, 4);
  details.cChannels = field(r, 8);
  details.cMultipleItems = field(r, 12);
  details.cbDetails = field(r, 16);
  details.paDetails = values.data();
  return mixerSetControlDetails(mixerOf(c), &details, c.arg(2));
}

std::uint32_t getWindowThreadProcessId(const Call &c) {
  DWORD processId = 0;
  DWORD thread = GetWindowThreadProcessId(hostHandle<HWND>(c.arg(0)), &processId);
  if (thread && c.arg(1)) write32(c.arg(1), processId);
  return thread;
}

std::uint32_t openProcess(const Call &c) {
  return guestHandle(OpenProcess(c.arg(0), static_cast<BOOL>(c.arg(1)), c.arg(2)));
}

// The address is a 32-bit value: the player's memory as a 32-bit process sees it.
std::uint32_t readProcessMemory(const Call &c) {
  std::string buffer(c.arg(3), '\0');
  SIZE_T done = 0;
  BOOL ok = ReadProcessMemory(hostHandle<HANDLE>(c.arg(0)),
                              reinterpret_cast<LPCVOID>(std::uintptr_t{c.arg(1)}), buffer.data(),
                              buffer.size(), &done);
  write(c.arg(2), buffer.substr(0, done));
  if (c.arg(4)) write32(c.arg(4), static_cast<std::uint32_t>(done));
  return static_cast<std::uint32_t>(ok);
}

std::uint32_t getCurrentProcess(const Call &) {
  return guestHandle(GetCurrentProcess());
}

std::uint32_t isWow64Process(const Call &c) {
  BOOL wow64 = FALSE;
  BOOL ok = IsWow64Process(hostHandle<HANDLE>(c.arg(0)), &wow64);
  if (ok) write32(c.arg(1), static_cast<std::uint32_t>(wow64));
  return static_cast<std::uint32_t>(ok);
}

// The DLL's own module stands for the plug-in's module of the simulated Win32.
HMODULE hostModule(std::uint32_t guest) {
  return guest && guest == state().module ? thisModule() : hostHandle<HMODULE>(guest);
}

// Null is the DLL itself here, as the runtime stand-ins take it (runtime.cpp).
std::uint32_t getModuleHandleA(const Call &c) {
  if (!c.arg(0)) return state().module;
  HMODULE module = GetModuleHandleA(Text(c.arg(0)).get());
  return module == thisModule() ? state().module : guestHandle(module);
}

std::uint32_t getModuleFileNameA(const Call &c) {
  DWORD size = c.arg(2);
  std::string buffer(size, '\0');
  DWORD length = GetModuleFileNameA(hostModule(c.arg(0)), buffer.data(), size);
  // A name cut to the buffer's size comes without its terminator.
  if (length) write(c.arg(1), buffer.substr(0, length < size ? length + 1 : size));
  return length;
}

const Binding &kernel32Binding(const std::string &name) {
  for (const Binding &b : win32Bindings())
    if (std::string_view(b.dll) == "kernel32.dll" && name == b.name) return b;
  throw Fault("GetProcAddress of " + name + ", which has no binding");
}

// A function of the simulated kernel32, at a guest address that is made when it is first asked
// for; null where the simulated Win32 has none, as on Windows before XP SP2 for IsWow64Process.
std::uint32_t getProcAddress(const Call &c) {
  if (c.arg(1) <= 0xFFFF) throw Fault("GetProcAddress by ordinal " + std::to_string(c.arg(1)));
  std::string name = readCString(c.arg(1));
  if (!GetProcAddress(hostModule(c.arg(0)), name.c_str())) return 0;
  auto known = state().procedures.find(name);
  if (known != state().procedures.end()) return known->second;
  const Binding &b = kernel32Binding(name);
  Addr address = addHostRoutine("kernel32.dll!" + name, b.convention, b.argumentCount, b.routine);
  state().procedures[name] = address;
  return address;
}

// The simulated Win32 keeps its own last-error value: the thread's is handed over on the way in
// and taken back on the way out, so that GetLastError in the guest sees what the call set.
template <HostRoutine routine> std::uint32_t withLastError(const Call &c) {
  SetLastError(read32(lastErrorAddress));
  std::uint32_t result = routine(c);
  write32(lastErrorAddress, GetLastError());
  return result;
}

} // namespace

std::uintptr_t hostHandleOf(std::uint32_t guestHandle) {
  return reinterpret_cast<std::uintptr_t>(hostHandle<void *>(guestHandle));
}

void setModule(Addr base, const std::vector<int> &iconIds) {
  state().module = base;
  sim::setModuleIcons(iconIds);
}

Addr moduleBase() {
  return state().module;
}

std::vector<MixerCall> &mixerCalls() {
  return state().mixerCalls;
}

void resetWin32Bindings() {
  state() = State{};
}

const std::vector<Binding> &win32Bindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"user32.dll", "FindWindowA", w, 2, withLastError<findWindowA>, 0},
      {"user32.dll", "GetWindowTextA", w, 3, withLastError<getWindowTextA>, 0},
      {"user32.dll", "SendMessageTimeoutA", w, 7, withLastError<sendMessageTimeoutA>, 0},
      {"user32.dll", "LoadIconA", w, 2, withLastError<loadIconA>, 0},
      {"user32.dll", "DestroyIcon", w, 1, withLastError<destroyIcon>, 0},
      {"user32.dll", "MessageBoxA", w, 4, withLastError<messageBoxA>, 0},
      {"kernel32.dll", "CompareStringA", w, 6, withLastError<compareStringA>, 0},
      {"kernel32.dll", "Sleep", w, 1, withLastError<sleep>, 0},
      {"kernel32.dll", "CreateFileA", w, 7, withLastError<createFileA>, 0},
      {"kernel32.dll", "GetFileSize", w, 2, withLastError<getFileSize>, 0},
      {"kernel32.dll", "ReadFile", w, 5, withLastError<readFile>, 0},
      {"kernel32.dll", "CloseHandle", w, 1, withLastError<closeHandle>, 0},
      {"kernel32.dll", "ExpandEnvironmentStringsA", w, 3, withLastError<expandEnvironmentStringsA>,
       0},
      {"advapi32.dll", "RegOpenKeyExA", w, 5, withLastError<regOpenKeyExA>, 0},
      {"advapi32.dll", "RegQueryValueExA", w, 6, withLastError<regQueryValueExA>, 0},
      {"advapi32.dll", "RegCloseKey", w, 1, withLastError<regCloseKey>, 0},
      {"shell32.dll", "ShellExecuteA", w, 6, withLastError<shellExecuteA>, 0},
      {"winmm.dll", "mixerGetLineInfoA", w, 3, withLastError<getLineInfo>, 0},
      {"winmm.dll", "mixerGetLineControlsA", w, 3, withLastError<getLineControls>, 0},
      {"winmm.dll", "mixerSetControlDetails", w, 3, withLastError<setControlDetails>, 0},
      {"user32.dll", "GetWindowThreadProcessId", w, 2, withLastError<getWindowThreadProcessId>, 0},
      {"kernel32.dll", "OpenProcess", w, 3, withLastError<openProcess>, 0},
      {"kernel32.dll", "ReadProcessMemory", w, 5, withLastError<readProcessMemory>, 0},
      {"kernel32.dll", "GetCurrentProcess", w, 0, withLastError<getCurrentProcess>, 0},
      {"kernel32.dll", "GetModuleHandleA", w, 1, withLastError<getModuleHandleA>, 0},
      {"kernel32.dll", "GetProcAddress", w, 2, withLastError<getProcAddress>, 0},
      {"kernel32.dll", "GetModuleFileNameA", w, 3, withLastError<getModuleFileNameA>, 0},
      // Imported by no DLL: GetProcAddress hands it out.
      {"kernel32.dll", "IsWow64Process", w, 2, withLastError<isWow64Process>, 0},
  };
  return bindings;
}

} // namespace emu
