// The simulated Win32: plain in-memory state behind the functions the plug-in calls.
#include "win32sim.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

struct SimWindow {
  std::string className;
  std::string caption;
  sim::WindowProc proc;
  bool hung = false;
  bool refusing = false;
};
struct SimInstance {};
struct SimIcon {
  int id;
};
struct SimKey {
  std::string path;
};
struct SimHandle {
  int fd;
  std::string path;
};
struct SimProcess {
  std::map<std::uintptr_t, std::string> pages; // by their first address
  std::set<std::uintptr_t> protectedPages;
  bool denyOpen = false;
  sim::Wow64 wow64 = sim::Wow64::no;
};
struct SimProcessHandle {
  std::unique_ptr<SimHandle> handle;
  DWORD processId;
  DWORD access;
};

namespace {

struct Machine {
  std::vector<std::unique_ptr<SimWindow>> windows;
  DWORD lastError = 0;
  std::vector<sim::SentMessage> sent;
  std::uint64_t waitedOnHungMs = 0;
  std::vector<sim::MessageBoxCall> boxes;
  std::vector<sim::ShellCall> shell;
  std::function<void(const sim::ShellCall &)> onShell;
  std::vector<DWORD> sleeps;
  std::function<void(DWORD)> onSleep;
  std::map<std::string, std::map<std::string, std::string>> registry;
  std::map<SimKey *, std::unique_ptr<SimKey>> keys;
  std::set<std::string> writeDenied;
  std::set<std::string> readsFail;
  std::map<std::string, DWORD> reportedSizes;
  std::map<SimHandle *, std::unique_ptr<SimHandle>> files;
  std::vector<sim::FileOpen> fileOpens;
  std::map<SimIcon *, int> icons;
  int loadedIcons = 0;
  std::vector<int> moduleIcons{1, 2, 3, 5, 6, 7, 8, 10, 11, 12, 13, 100};
  sim::Mixer mixer;
  std::map<std::string, std::string> environment; // by lower-case name
  LCID systemLocale = 0x0419;
  LCID userLocale = 0x0419;
  std::map<SimWindow *, DWORD> windowProcesses;
  std::map<DWORD, SimProcess> processes;
  DWORD nextProcessId = 0x1000;
  std::map<SimHandle *, SimProcessHandle> processHandles;
  std::vector<sim::ProcessOpen> processOpens;
  std::vector<sim::MemoryRead> memoryReads;
  sim::Wow64 ownWow64 = sim::Wow64::no;
  bool hasIsWow64Process = true;
  std::string programFileName = "C:\\Messenger\\Messenger.exe";
  std::string pluginFileName = "C:\\Messenger\\plugins\\QUIB_Ctl.dll";
};

Machine &machine() {
  static Machine m;
  return m;
}

SimInstance module;
SimInstance program;
SimInstance kernel32;

constexpr std::uintptr_t processPageSize = 0x1000;

std::string lower(std::string s) {
  for (char &c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Windows paths as the Linux file system spells them.
std::string hostPath(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

std::string registryPath(HKEY root, const std::string &subKey) {
  return std::to_string(reinterpret_cast<std::uintptr_t>(root)) + "\\" + lower(subKey);
}

SimWindow *liveWindow(HWND window) {
  for (auto &w : machine().windows)
    if (w.get() == window) return w.get();
  return nullptr;
}

// Case folding of Windows-1251: Latin, Russian and the other Cyrillic letters of the page.
unsigned char fold1251(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDF))
    return static_cast<unsigned char>(c + 0x20);
  switch (c) {
  case 0xA8:
    return 0xB8; // IO
  case 0xAA:
    return 0xBA;
  case 0xAF:
    return 0xBF;
  case 0xB2:
    return 0xB3;
  case 0xA1:
    return 0xA2;
  case 0xA5:
    return 0xB4;
  case 0xA3:
    return 0xBC;
  case 0xBD:
    return 0xBE;
  case 0x80:
    return 0x90;
  case 0x81:
    return 0x83;
  case 0x8A:
    return 0x9A;
  case 0x8C:
    return 0x9C;
  case 0x8D:
    return 0x9D;
  case 0x8E:
    return 0x9E;
  case 0x8F:
    return 0x9F;
  default:
    return c;
  }
}

// Case folding of Windows-1252: the Latin letters of the page.
unsigned char fold1252(unsigned char c) {
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
    return static_cast<unsigned char>(c + 0x20);
  switch (c) {
  case 0x8A:
    return 0x9A; // S caron
  case 0x8C:
    return 0x9C; // OE
  case 0x8E:
    return 0x9E; // Z caron
  case 0x9F:
    return 0xFF; // Y diaeresis
  default:
    return c;
  }
}

constexpr LCID languageRussian = 0x19;
// A code page's folding as a table of its 256 bytes, so that comparing costs a lookup a byte.
using Fold = std::array<unsigned char, 256>;

template <unsigned char (*fold)(unsigned char)> const Fold &foldTable() {
  static const Fold table = [] {
    Fold t{};
    for (std::size_t c = 0; c < t.size(); ++c) t[c] = fold(static_cast<unsigned char>(c));
    return t;
  }();
  return table;
}

// The case folding of the code page of the locale a comparison names: 0 and LOCALE_USER_DEFAULT
// mean the user's regional formats, LOCALE_SYSTEM_DEFAULT the system locale.
const Fold &foldOf(LCID locale) {
  const Machine &m = machine();
  if (locale == 0 || locale == LOCALE_USER_DEFAULT) locale = m.userLocale;
  if (locale == LOCALE_SYSTEM_DEFAULT) locale = m.systemLocale;
  return (locale & 0x3FF) == languageRussian ? foldTable<fold1251>() : foldTable<fold1252>();
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

HWND FindWindowA(LPCSTR className, LPCSTR windowName) {
  for (auto &w : machine().windows) {
    if (className && lower(w->className) != lower(className)) continue;
    if (windowName && w->caption != windowName) continue;
    return w.get();
  }
  return nullptr;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  if (maxCount <= 0) return 0;
  text[0] = '\0';
  SimWindow *w = liveWindow(window);
  if (!w) return 0;
  int n = std::min<int>(static_cast<int>(w->caption.size()), maxCount - 1);
  std::memcpy(text, w->caption.data(), static_cast<std::size_t>(n));
  text[n] = '\0';
  return n;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  machine().sent.push_back({window, message, wParam, lParam, false, 0, 0});
  SimWindow *w = liveWindow(window);
  if (!w) return 0;
  if (w->hung) {
    // The real call would never come back; make that impossible to miss.
    machine().waitedOnHungMs += 0xFFFFFFFFu;
    return 0;
  }
  return w->proc ? w->proc(message, wParam, lParam) : 0;
}

LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, PDWORD_PTR result) {
  machine().sent.push_back({window, message, wParam, lParam, true, flags, timeout});
  SimWindow *w = liveWindow(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (w->refusing) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  if (w->hung) {
    if (!(flags & SMTO_ABORTIFHUNG)) machine().waitedOnHungMs += timeout;
    SetLastError(ERROR_TIMEOUT);
    return 0;
  }
  LRESULT answer = w->proc ? w->proc(message, wParam, lParam) : 0;
  if (result) *result = static_cast<DWORD_PTR>(answer);
  return 1;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  auto id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
  auto &m = machine();
  if (instance != &module ||
      std::find(m.moduleIcons.begin(), m.moduleIcons.end(), id) == m.moduleIcons.end())
    return nullptr;
  // Handles come from static storage, which lies below 4 GiB like the messenger's own.
  static SimIcon pool[4096];
  HICON handle = &pool[m.loadedIcons++ % 4096];
  handle->id = id;
  m.icons[handle] = id;
  return handle;
}

BOOL DestroyIcon(HICON icon) {
  return machine().icons.erase(icon) ? TRUE : FALSE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  machine().boxes.push_back({owner, text ? text : "", caption ? caption : "", type});
  return 1;
}

int CompareStringA(LCID locale, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2) {
  const Fold &fold = foldOf(locale);
  std::size_t len1 = n1 < 0 ? std::strlen(s1) : static_cast<std::size_t>(n1);
  std::size_t len2 = n2 < 0 ? std::strlen(s2) : static_cast<std::size_t>(n2);
  for (std::size_t i = 0; i < len1 && i < len2; ++i) {
    auto a = static_cast<unsigned char>(s1[i]);
    auto b = static_cast<unsigned char>(s2[i]);
    if (flags & NORM_IGNORECASE) a = fold[a], b = fold[b];
    if (a != b) return a < b ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (len1 == len2) return CSTR_EQUAL;
  return len1 < len2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
}

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM, HKEY *result) {
  auto &m = machine();
  std::string path = registryPath(key, subKey ? subKey : "");
  if (!m.registry.count(path)) return ERROR_FILE_NOT_FOUND;
  auto k = std::make_unique<SimKey>(SimKey{path});
  *result = k.get();
  m.keys[k.get()] = std::move(k);
  return ERROR_SUCCESS;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD size) {
  auto &m = machine();
  auto k = m.keys.find(key);
  if (k == m.keys.end()) return ERROR_ACCESS_DENIED;
  auto &values = m.registry[k->second->path];
  auto v = values.find(lower(valueName ? valueName : ""));
  if (v == values.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = REG_SZ;
  auto needed = static_cast<DWORD>(v->second.size());
  if (!data) {
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  if (!size || *size < needed) {
    if (size) *size = needed;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, v->second.data(), needed);
  *size = needed;
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  return machine().keys.erase(key) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT showCommand) {
  auto &m = machine();
  m.shell.push_back({owner, operation ? operation : "", file ? file : "",
                     parameters ? parameters : "", directory ? directory : "", showCommand});
  if (m.onShell) m.onShell(m.shell.back());
  return reinterpret_cast<HINSTANCE>(std::uintptr_t{42});
}

void Sleep(DWORD milliseconds) {
  auto &m = machine();
  m.sleeps.push_back(milliseconds);
  if (m.onSleep) m.onSleep(milliseconds);
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE) {
  auto &m = machine();
  std::string path = hostPath(name ? name : "");
  m.fileOpens.push_back({name ? name : "", access, share, disposition});
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
  if (m.processHandles.erase(handle)) return TRUE;
  auto f = m.files.find(handle);
  if (f == m.files.end()) return FALSE;
  ::close(f->second->fd);
  m.files.erase(f);
  return TRUE;
}

MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA *line, DWORD flags) {
  auto &mx = machine().mixer;
  mx.devices.push_back(mixer);
  mx.flags.push_back(flags);
  mx.lineRequests.push_back(*line);
  if (!mx.present || mixer != nullptr) return MMSYSERR_BADDEVICEID;
  if (flags != MIXER_GETLINEINFOF_COMPONENTTYPE || !mx.hasSpeakers ||
      line->dwComponentType != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)
    return MIXERR_INVALLINE;
  line->dwLineID = mx.speakersLineId;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA *controls, DWORD flags) {
  auto &mx = machine().mixer;
  mx.devices.push_back(mixer);
  mx.flags.push_back(flags);
  mx.controlRequests.push_back(*controls);
  if (!mx.present || mixer != nullptr) return MMSYSERR_BADDEVICEID;
  if (controls->dwLineID != mx.speakersLineId) return MIXERR_INVALLINE;
  if (flags != MIXER_GETLINECONTROLSF_ONEBYTYPE || !mx.hasMute ||
      controls->dwControlType != MIXERCONTROL_CONTROLTYPE_MUTE || controls->cControls != 1 ||
      controls->cbmxctrl < sizeof(MIXERCONTROLA) || !controls->pamxctrl)
    return MIXERR_INVALCONTROL;
  controls->pamxctrl->dwControlID = mx.muteControlId;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS *details, DWORD flags) {
  auto &mx = machine().mixer;
  mx.devices.push_back(mixer);
  mx.flags.push_back(flags);
  mx.setRequests.push_back(*details);
  if (details->cbDetails == sizeof(MIXERCONTROLDETAILS_BOOLEAN) && details->paDetails)
    mx.setValues.push_back(static_cast<MIXERCONTROLDETAILS_BOOLEAN *>(details->paDetails)->fValue);
  if (!mx.present || mixer != nullptr) return MMSYSERR_BADDEVICEID;
  if (details->dwControlID != mx.muteControlId) return MIXERR_INVALCONTROL;
  return mx.setResult;
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

DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId) {
  if (!liveWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  DWORD id = sim::processIdOf(window);
  if (processId) *processId = id;
  return id + 4; // the thread's id
}

HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId) {
  auto &m = machine();
  m.processOpens.push_back({access, inheritHandle, processId});
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
  SetLastError(ERROR_PROC_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
  auto &m = machine();
  const std::string *name = module == nullptr     ? &m.programFileName
                            : module == &::module ? &m.pluginFileName
                                                  : nullptr;
  if (!name) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (name->size() < size) {
    std::memcpy(fileName, name->c_str(), name->size() + 1);
    return static_cast<DWORD>(name->size());
  }
  std::memcpy(fileName, name->data(), size);
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

namespace sim {

HWND addWindow(const std::string &className, const std::string &caption, WindowProc proc) {
  auto w = std::make_unique<SimWindow>(SimWindow{className, caption, std::move(proc)});
  HWND handle = w.get();
  machine().windows.push_back(std::move(w));
  return handle;
}

void removeWindow(HWND window) {
  auto &ws = machine().windows;
  ws.erase(std::remove_if(ws.begin(), ws.end(), [&](auto &w) { return w.get() == window; }),
           ws.end());
  machine().windowProcesses.erase(window);
}

void setCaption(HWND window, const std::string &caption) {
  if (SimWindow *w = liveWindow(window)) w->caption = caption;
}

void setHung(HWND window, bool hung) {
  if (SimWindow *w = liveWindow(window)) w->hung = hung;
}

void setRefusing(HWND window, bool refusing) {
  if (SimWindow *w = liveWindow(window)) w->refusing = refusing;
}

std::vector<SentMessage> &sentMessages() {
  return machine().sent;
}
std::uint64_t &waitedOnHungMs() {
  return machine().waitedOnHungMs;
}
std::vector<MessageBoxCall> &messageBoxes() {
  return machine().boxes;
}
std::vector<ShellCall> &shellCalls() {
  return machine().shell;
}
std::function<void(const ShellCall &)> &onShellExecute() {
  return machine().onShell;
}
std::vector<DWORD> &sleeps() {
  return machine().sleeps;
}
std::function<void(DWORD)> &onSleep() {
  return machine().onSleep;
}

void setRegistryValue(HKEY root, const std::string &subKey, const std::string &valueName,
                      const std::string &bytes) {
  machine().registry[registryPath(root, subKey)][lower(valueName)] = bytes;
}

int openRegistryKeys() {
  return static_cast<int>(machine().keys.size());
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

int liveIcons() {
  return static_cast<int>(machine().icons.size());
}
int loadedIcons() {
  return machine().loadedIcons;
}
void setModuleIcons(const std::vector<int> &ids) {
  machine().moduleIcons = ids;
}

int iconIdOf(HICON icon) {
  auto &icons = machine().icons;
  auto i = icons.find(icon);
  return i == icons.end() ? 0 : i->second;
}

Mixer &mixer() {
  return machine().mixer;
}

void setEnvironmentVariable(const std::string &name, const std::string &value) {
  machine().environment[lower(name)] = value;
}

void setLocales(LCID system, LCID user) {
  machine().systemLocale = system;
  machine().userLocale = user;
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
}

} // namespace sim

// COM and Core Audio: three objects whose reference counts and calls the machine keeps.
namespace {

struct ComMachine {
  sim::CoreAudio audio;
  sim::ComReferences references{0, 0, 0};
  int initialisedByPlugin = 0;
  int uninitialisedByPlugin = 0;
};

ComMachine &com() {
  static ComMachine c;
  return c;
}

constexpr GUID clsidEnumerator{
    0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91, 0x69, 0x2e}};
constexpr GUID iidEnumerator{
    0xa95664d2, 0x9614, 0x4f35, {0xa7, 0x46, 0xde, 0x8d, 0xb6, 0x36, 0x17, 0xe6}};
constexpr GUID iidDevice{
    0xd666063f, 0x1587, 0x4e43, {0x81, 0xf1, 0xb9, 0x48, 0xe8, 0x07, 0x36, 0x3f}};
constexpr GUID iidEndpointVolume{
    0x5cdf2c82, 0x841e, 0x4546, {0x97, 0x22, 0x0c, 0xf7, 0x40, 0x78, 0x22, 0x9a}};
constexpr GUID iidUnknown{
    0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Notes a call of an object's method (a name that lives as long as the program, so that noting
// it takes no memory); a call on a released object or without COM is a misuse.
void called(std::string_view call, const char *object, ULONG references) {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back(call);
  if (!references) a.misuses.push_back(std::string(call) + " on the released " + object);
  if (a.apartment == sim::Apartment::none) a.misuses.push_back(std::string(call) + " without COM");
}

ULONG addRef(std::string_view call, const char *object, ULONG &references) {
  called(call, object, references);
  return ++references;
}

ULONG release(std::string_view call, const char *object, ULONG &references) {
  called(call, object, references);
  return references ? --references : 0;
}

// Hands out an object: one more reference, and the pointer into the out-parameter.
template <class Interface> HRESULT handOut(Interface &object, ULONG &references, void **out) {
  ++references;
  *out = &object;
  return S_OK;
}

template <class Interface>
HRESULT queryInterface(Interface &object, const GUID &own, REFIID iid, void **out,
                       ULONG &references, std::string_view call, const char *name) {
  called(call, name, references);
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!(iid == own || iid == iidUnknown)) return E_NOINTERFACE;
  return handOut(object, references, out);
}

class EndpointVolume final : public IAudioEndpointVolume {
  ULONG &refs() { return com().references.endpointVolume; }
  HRESULT unserved(const char *method) {
    called(method, "endpoint volume", refs());
    return E_NOTIMPL;
  }

public:
  HRESULT QueryInterface(REFIID iid, void **out) override {
    return queryInterface(*this, iidEndpointVolume, iid, out, refs(),
                          "QueryInterface endpoint volume", "endpoint volume");
  }
  ULONG AddRef() override { return addRef("AddRef endpoint volume", "endpoint volume", refs()); }
  ULONG Release() override { return release("Release endpoint volume", "endpoint volume", refs()); }
  HRESULT RegisterControlChangeNotify(IAudioEndpointVolumeCallback *) override {
    return unserved("RegisterControlChangeNotify");
  }
  HRESULT UnregisterControlChangeNotify(IAudioEndpointVolumeCallback *) override {
    return unserved("UnregisterControlChangeNotify");
  }
  HRESULT GetChannelCount(UINT *) override { return unserved("GetChannelCount"); }
  HRESULT SetMasterVolumeLevel(float, LPCGUID) override { return unserved("SetMasterVolumeLevel"); }
  HRESULT SetMasterVolumeLevelScalar(float, LPCGUID) override {
    return unserved("SetMasterVolumeLevelScalar");
  }
  HRESULT GetMasterVolumeLevel(float *) override { return unserved("GetMasterVolumeLevel"); }
  HRESULT GetMasterVolumeLevelScalar(float *) override {
    return unserved("GetMasterVolumeLevelScalar");
  }
  HRESULT SetChannelVolumeLevel(UINT, float, LPCGUID) override {
    return unserved("SetChannelVolumeLevel");
  }
  HRESULT SetChannelVolumeLevelScalar(UINT, float, LPCGUID) override {
    return unserved("SetChannelVolumeLevelScalar");
  }
  HRESULT GetChannelVolumeLevel(UINT, float *) override {
    return unserved("GetChannelVolumeLevel");
  }
  HRESULT GetChannelVolumeLevelScalar(UINT, float *) override {
    return unserved("GetChannelVolumeLevelScalar");
  }
  // As Windows: S_FALSE when the endpoint already had that setting.
  HRESULT SetMute(BOOL mute, LPCGUID context) override {
    sim::CoreAudio &a = com().audio;
    called("SetMute", "endpoint volume", refs());
    a.setMutes.push_back({mute, context != nullptr, context ? *context : GUID{}});
    if (FAILED(a.setMuteResult)) return a.setMuteResult;
    bool unchanged = a.endpointMuted == (mute != FALSE);
    a.endpointMuted = mute != FALSE;
    return unchanged || a.setMuteResult == S_FALSE ? S_FALSE : S_OK;
  }
  HRESULT GetMute(BOOL *mute) override {
    called("GetMute", "endpoint volume", refs());
    if (!mute) return E_POINTER;
    *mute = com().audio.endpointMuted ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT GetVolumeStepInfo(UINT *, UINT *) override { return unserved("GetVolumeStepInfo"); }
  HRESULT VolumeStepUp(LPCGUID) override { return unserved("VolumeStepUp"); }
  HRESULT VolumeStepDown(LPCGUID) override { return unserved("VolumeStepDown"); }
  HRESULT QueryHardwareSupport(DWORD *) override { return unserved("QueryHardwareSupport"); }
  HRESULT GetVolumeRange(float *, float *, float *) override { return unserved("GetVolumeRange"); }
};

EndpointVolume endpointVolume;

class Device final : public IMMDevice {
  ULONG &refs() { return com().references.device; }

public:
  HRESULT QueryInterface(REFIID iid, void **out) override {
    return queryInterface(*this, iidDevice, iid, out, refs(), "QueryInterface device", "device");
  }
  ULONG AddRef() override { return addRef("AddRef device", "device", refs()); }
  ULONG Release() override { return release("Release device", "device", refs()); }
  HRESULT Activate(REFIID iid, DWORD context, PROPVARIANT *, void **out) override {
    sim::CoreAudio &a = com().audio;
    called("Activate", "device", refs());
    a.activateContexts.push_back(context);
    if (!out) return E_POINTER;
    *out = nullptr;
    if (FAILED(a.activateResult)) return a.activateResult;
    if (!(iid == iidEndpointVolume)) return E_NOINTERFACE;
    return handOut(endpointVolume, com().references.endpointVolume, out);
  }
  HRESULT OpenPropertyStore(DWORD, IPropertyStore **) override {
    called("OpenPropertyStore", "device", refs());
    return E_NOTIMPL;
  }
  HRESULT GetId(LPWSTR *) override {
    called("GetId", "device", refs());
    return E_NOTIMPL;
  }
  HRESULT GetState(DWORD *) override {
    called("GetState", "device", refs());
    return E_NOTIMPL;
  }
};

Device device;

class Enumerator final : public IMMDeviceEnumerator {
  ULONG &refs() { return com().references.enumerator; }
  HRESULT unserved(const char *method) {
    called(method, "enumerator", refs());
    return E_NOTIMPL;
  }

public:
  HRESULT QueryInterface(REFIID iid, void **out) override {
    return queryInterface(*this, iidEnumerator, iid, out, refs(), "QueryInterface enumerator",
                          "enumerator");
  }
  ULONG AddRef() override { return addRef("AddRef enumerator", "enumerator", refs()); }
  ULONG Release() override { return release("Release enumerator", "enumerator", refs()); }
  HRESULT EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection **) override {
    return unserved("EnumAudioEndpoints");
  }
  HRESULT GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice **out) override {
    sim::CoreAudio &a = com().audio;
    called("GetDefaultAudioEndpoint", "enumerator", refs());
    a.endpointRequests.emplace_back(flow, role);
    if (!out) return E_POINTER;
    *out = nullptr;
    if (flow != eRender && flow != eCapture) return E_INVALIDARG;
    if (!a.defaultEndpoint) return E_NOTFOUND;
    return handOut<IMMDevice>(device, com().references.device, reinterpret_cast<void **>(out));
  }
  HRESULT GetDevice(LPCWSTR, IMMDevice **) override { return unserved("GetDevice"); }
  HRESULT RegisterEndpointNotificationCallback(IMMNotificationClient *) override {
    return unserved("RegisterEndpointNotificationCallback");
  }
  HRESULT UnregisterEndpointNotificationCallback(IMMNotificationClient *) override {
    return unserved("UnregisterEndpointNotificationCallback");
  }
};

Enumerator enumerator;

} // namespace

bool operator==(const GUID &a, const GUID &b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

template <> const GUID &simUuidOf<MMDeviceEnumerator>() {
  return clsidEnumerator;
}
template <> const GUID &simUuidOf<IMMDeviceEnumerator>() {
  return iidEnumerator;
}
template <> const GUID &simUuidOf<IMMDevice>() {
  return iidDevice;
}
template <> const GUID &simUuidOf<IAudioEndpointVolume>() {
  return iidEndpointVolume;
}
template <> const GUID &simUuidOf<IUnknown>() {
  return iidUnknown;
}

// As COM: the first call on the thread chooses the model; later calls of the same model are
// counted (S_FALSE), of the other model refused.
HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back("CoInitializeEx");
  auto wanted = (coInit & COINIT_APARTMENTTHREADED) ? sim::Apartment::singleThreaded
                                                    : sim::Apartment::multithreaded;
  HRESULT result = S_OK;
  if (a.apartment == sim::Apartment::none)
    a.apartment = wanted;
  else if (a.apartment == wanted)
    result = S_FALSE;
  else
    result = RPC_E_CHANGED_MODE;
  if (SUCCEEDED(result)) ++a.initialisations, ++com().initialisedByPlugin;
  a.initialiseResults.push_back(result);
  return result;
}

void CoUninitialize() {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back("CoUninitialize");
  ++com().uninitialisedByPlugin;
  if (a.initialisations == 0) {
    a.misuses.push_back("CoUninitialize without CoInitializeEx");
    return;
  }
  if (--a.initialisations == 0) a.apartment = sim::Apartment::none;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID *object) {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back("CoCreateInstance");
  a.createContexts.push_back(context);
  if (!object) return E_POINTER;
  *object = nullptr;
  if (a.apartment == sim::Apartment::none) return CO_E_NOTINITIALIZED;
  if (!a.registered || !(clsid == clsidEnumerator) || !(context & CLSCTX_INPROC_SERVER))
    return REGDB_E_CLASSNOTREG;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!(iid == iidEnumerator || iid == iidUnknown)) return E_NOINTERFACE;
  return handOut<IMMDeviceEnumerator>(enumerator, com().references.enumerator, object);
}

namespace sim {

CoreAudio &coreAudio() {
  return com().audio;
}

void installCoreAudio() {
  com().audio.registered = true;
}

void resetCoreAudio() {
  com() = ComMachine{};
}

ComReferences comReferences() {
  return com().references;
}

int unbalancedComInitialisations() {
  return com().initialisedByPlugin - com().uninitialisedByPlugin;
}

} // namespace sim
