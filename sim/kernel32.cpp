// kernel32 of the simulated Win32: files, the environment, errors, processes, modules, Sleep.
#include "machine.h"
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
SimInstance module;
SimInstance program;
SimInstance kernel32;

constexpr std::uintptr_t processPageSize = 0x1000;

// Windows paths as the Linux file system spells them.
std::string hostPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// %NAME% replaced by the variable's value; an unknown name, or a "%" without a closing one,
// stays as written, as on Windows.
std::string expanded(std::string_view s) {
  std::string out;
  while (!s.empty()) {
    std::size_t open = s.find('%');
    std::size_t close = open == std::string_view::npos ? open : s.find('%', open + 1);
    if (close == std::string_view::npos) return out.append(s);
    out.append(s.substr(0, open));
    auto &environment = machine().environment;
    auto v = environment.find(lower(std::string(s.substr(open + 1, close - open - 1))));
    out.append(v != environment.end() ? std::string_view(v->second)
                                      : s.substr(open, close - open + 1));
    s.remove_prefix(close + 1);
  }
  return out;
}

// The file name of a full name, after its last backslash.
std::string baseName(const std::string &fileName) {
  return fileName.substr(fileName.rfind('\\') + 1);
}

// An existing file by its Windows name in UTF-8, as CreateFileA and CreateFileW open it.
HANDLE openFile(const std::string &name, DWORD access, DWORD disposition) {
  auto &m = machine();
  std::string path = hostPath(name);
  struct stat st {};
  if (disposition != OPEN_EXISTING || path.empty() || stat(path.c_str(), &st) != 0 ||
      !S_ISREG(st.st_mode))
    return INVALID_HANDLE_VALUE;
  if ((access & GENERIC_WRITE) && m.writeDenied.count(path)) return INVALID_HANDLE_VALUE;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return INVALID_HANDLE_VALUE;
  auto h = std::make_unique<SimHandle>(SimHandle{fd, path});
  HANDLE handle = h.get();
  m.files[handle] = std::move(h);
  return handle;
}

// A name into a buffer of so many characters: whole with its terminator when it fits, else cut
// to the buffer without one.
DWORD copyName(const std::wstring &name, WCHAR *out, DWORD size) {
  if (name.size() < size) {
    std::copy(name.c_str(), name.c_str() + name.size() + 1, out);
    return static_cast<DWORD>(name.size());
  }
  std::copy(name.data(), name.data() + size, out);
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

// The module's full name in UTF-8, or null for a module the machine does not know.
const std::string *moduleFileName(HMODULE module) {
  auto &m = machine();
  const std::string *name = module == nullptr     ? &m.programFileName
                            : module == &::module ? &m.pluginFileName
                                                  : nullptr;
  if (!name) SetLastError(ERROR_MOD_NOT_FOUND);
  return name;
}

// A process that exits as it is opened leaves its id to its heir's process.
void handOnAtOpen(DWORD processId) {
  auto &m = machine();
  auto exit = m.exitsAtOpen.find(processId);
  if (exit == m.exitsAtOpen.end()) return;
  auto [player, heir] = exit->second;
  m.exitsAtOpen.erase(exit);
  DWORD heirId = sim::processIdOf(heir);
  sim::removeWindow(player);
  m.processes[processId] = std::move(m.processes[heirId]);
  m.processes.erase(heirId);
  m.windowProcesses[heir] = processId;
}

// IsWow64Process's answer for a process, or its failure.
BOOL wow64Answer(sim::Wow64 wow64, PBOOL answer) {
  if (wow64 == sim::Wow64::unknown) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  *answer = wow64 == sim::Wow64::yes ? TRUE : FALSE;
  return TRUE;
}

SimProcess &processOf(HWND window) {
  return machine().processes[sim::processIdOf(window)];
}
std::uintptr_t pageOf(std::uintptr_t address) {
  return address - address % processPageSize;
}

// Every byte of the range lies on a page that is there and may be read.
bool readable(const SimProcess &p, std::uintptr_t address, std::size_t size) {
  if (size == 0) return true;
  std::uintptr_t last = address + (size - 1);
  if (last < address) return false;
  for (std::uintptr_t page = pageOf(address);; page += processPageSize) {
    if (!p.pages.count(page) || p.protectedPages.count(page)) return false;
    if (page == pageOf(last)) return true;
  }
}
} // namespace

void Sleep(DWORD milliseconds) {
  auto &m = machine();
  m.sleeps.push_back(milliseconds);
  m.clockMs += milliseconds;
  if (m.onSleep) m.onSleep(milliseconds);
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
  std::string given = name ? name : "";
  machine().fileOpens.push_back({given, access, share, disposition});
  return openFile(bytesFrom(CP_UTF8, wideFrom(CP_ACP, given)), access, disposition);
}

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                   DWORD disposition, DWORD, HANDLE) {
  std::string given = bytesFrom(CP_UTF8, name ? name : L"");
  machine().fileOpens.push_back({given, access, share, disposition, true});
  return openFile(given, access, disposition);
}

DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  auto &m = machine();
  auto f = m.files.find(file);
  struct stat st {};
  if (f == m.files.end() || fstat(f->second->fd, &st) != 0) return INVALID_FILE_SIZE;
  auto size = static_cast<std::uint64_t>(st.st_size);
  if (auto reported = m.reportedSizes.find(f->second->path); reported != m.reportedSizes.end())
    size = reported->second;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(size >> 32);
  return static_cast<DWORD>(size);
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  auto &m = machine();
  if (read) *read = 0;
  auto f = m.files.find(file);
  if (f == m.files.end() || m.readsFail.count(f->second->path)) return FALSE;
  DWORD done = 0;
  while (done < toRead) {
    ssize_t n = ::read(f->second->fd, static_cast<char *>(buffer) + done, toRead - done);
    if (n < 0) return FALSE;
    if (n == 0) break;
    done += static_cast<DWORD>(n);
  }
  if (read) *read = done;
  return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
  auto &m = machine();
  if (m.processHandles.erase(handle) || m.mappingHandles.erase(handle) || sim::closeThread(handle))
    return TRUE;
  auto f = m.files.find(handle);
  if (f == m.files.end()) return FALSE;
  ::close(f->second->fd);
  m.files.erase(f);
  return TRUE;
}

DWORD GetLastError() {
  return machine().lastError;
}
void SetLastError(DWORD error) {
  machine().lastError = error;
}
HINSTANCE thisModule() {
  return &module;
}

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
  std::string text = expanded(source ? source : "");
  // The count includes the terminator; a buffer too small receives nothing.
  auto needed = static_cast<DWORD>(text.size() + 1);
  if (destination && size >= needed) std::memcpy(destination, text.c_str(), needed);
  return needed;
}

HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId) {
  auto &m = machine();
  m.processOpens.push_back({access, inheritHandle, processId});
  handOnAtOpen(processId);
  auto p = m.processes.find(processId);
  if (p == m.processes.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (p->second.denyOpen) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto h = std::make_unique<SimHandle>(SimHandle{-1, {}});
  HANDLE handle = h.get();
  m.processHandles[handle] = {std::move(h), processId, access};
  return handle;
}

BOOL ReadProcessMemory(HANDLE process, LPCVOID address, LPVOID buffer, SIZE_T size, SIZE_T *read) {
  auto &m = machine();
  if (read) *read = 0;
  auto h = m.processHandles.find(process);
  if (h == m.processHandles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(h->second.access & PROCESS_VM_READ)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const SimProcess &p = m.processes[h->second.processId];
  auto at = reinterpret_cast<std::uintptr_t>(address);
  bool ok = readable(p, at, size);
  m.memoryReads.push_back({h->second.processId, at, size, ok});
  if (!ok) {
    SetLastError(ERROR_PARTIAL_COPY);
    return FALSE;
  }
  for (std::size_t i = 0; i < size; ++i)
    static_cast<char *>(buffer)[i] = p.pages.at(pageOf(at + i))[(at + i) % processPageSize];
  if (read) *read = size;
  return TRUE;
}

HANDLE GetCurrentProcess() {
  return INVALID_HANDLE_VALUE; // the pseudo handle, (HANDLE)-1 as on Windows
}

BOOL IsWow64Process(HANDLE process, PBOOL wow64) {
  auto &m = machine();
  if (process == GetCurrentProcess()) return wow64Answer(m.ownWow64, wow64);
  auto h = m.processHandles.find(process);
  if (h == m.processHandles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(h->second.access & (PROCESS_QUERY_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return wow64Answer(m.processes[h->second.processId].wow64, wow64);
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
  auto &m = machine();
  if (!moduleName) return &program;
  std::string name = lower(moduleName);
  std::string plugin = lower(baseName(m.pluginFileName));
  if (name == "kernel32.dll" || name == "kernel32") return &kernel32;
  if (name == plugin || name + ".dll" == plugin) return &module;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR name) {
  // A name below 64 KiB is an ordinal, not a string.
  bool byName = reinterpret_cast<std::uintptr_t>(name) > 0xFFFF;
  if (module == &kernel32 && byName && std::string_view(name) == "IsWow64Process" &&
      machine().hasIsWow64Process)
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&IsWow64Process));
  if (FARPROC procedure = sim::combaseProcedure(module, name)) return procedure;
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  const std::string *name = moduleFileName(module);
  return name ? copyName(wideFrom(CP_UTF8, *name), fileName, size) : 0;
}

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  std::wstring folder = wideFrom(CP_UTF8, machine().systemDirectory);
  if (folder.size() >= size) return static_cast<UINT>(folder.size() + 1);
  std::copy(folder.c_str(), folder.c_str() + folder.size() + 1, buffer);
  return static_cast<UINT>(folder.size());
}

namespace sim {
std::vector<DWORD> &sleeps() {
  return machine().sleeps;
}
std::function<void(DWORD)> &onSleep() {
  return machine().onSleep;
}
void denyWriteAccess(const std::string &path) {
  machine().writeDenied.insert(hostPath(path));
}
void failReads(const std::string &path) {
  machine().readsFail.insert(hostPath(path));
}
void reportFileSize(const std::string &path, DWORD size) {
  machine().reportedSizes[hostPath(path)] = size;
}
int openFiles() {
  return static_cast<int>(machine().files.size());
}
std::vector<FileOpen> &fileOpens() {
  return machine().fileOpens;
}
void setEnvironmentVariable(const std::string &name, const std::string &value) {
  machine().environment[lower(name)] = value;
}

DWORD processIdOf(HWND window) {
  auto &m = machine();
  auto known = m.windowProcesses.find(window);
  if (known != m.windowProcesses.end()) return known->second;
  DWORD id = m.nextProcessId;
  m.nextProcessId += 4;
  m.windowProcesses[window] = id;
  m.processes[id];
  return id;
}

void shareProcess(HWND window, HWND owner) {
  machine().windowProcesses[window] = processIdOf(owner);
}

void writeProcessMemory(HWND window, std::uintptr_t address, const std::string &bytes) {
  SimProcess &p = processOf(window);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string &page = p.pages[pageOf(address + i)];
    page.resize(processPageSize);
    page[(address + i) % processPageSize] = bytes[i];
  }
}

void protectProcessPage(HWND window, std::uintptr_t address) {
  processOf(window).protectedPages.insert(pageOf(address));
}
void exitAtOpen(HWND player, HWND heir) {
  machine().exitsAtOpen[processIdOf(player)] = {player, heir};
}
void denyProcessOpen(HWND window) {
  processOf(window).denyOpen = true;
}
std::vector<ProcessOpen> &processOpens() {
  return machine().processOpens;
}
std::vector<MemoryRead> &memoryReads() {
  return machine().memoryReads;
}
int openProcesses() {
  return static_cast<int>(machine().processHandles.size());
}
void setWow64(HWND window, Wow64 wow64) {
  processOf(window).wow64 = wow64;
}
void setOwnWow64(Wow64 wow64) {
  machine().ownWow64 = wow64;
}
void removeIsWow64Process() {
  machine().hasIsWow64Process = false;
}
void setModuleFileName(HMODULE module, const std::string &fileName) {
  (module ? machine().pluginFileName : machine().programFileName) = fileName;
}

void reset() {
  for (auto &f : machine().files) ::close(f.second->fd);
  machine() = Machine{};
  resetCoreAudio();
  resetThreads();
  resetSessions();
}
} // namespace sim
