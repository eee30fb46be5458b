// kernel32 of the simulated Win32, a part of win32sim.h: files, processes, modules, errors.
inline constexpr DWORD MAX_PATH = 260;
inline constexpr DWORD PROCESS_VM_READ = 0x0010;
inline constexpr DWORD PROCESS_QUERY_INFORMATION = 0x0400;
inline constexpr DWORD PROCESS_QUERY_LIMITED_INFORMATION = 0x1000;
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD FILE_SHARE_READ = 0x00000001;
inline constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(~std::uintptr_t{0});
inline constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

void Sleep(DWORD milliseconds);
// The name in the ANSI code page, or in UTF-16; either reaches the file the Linux file system
// spells in UTF-8.
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError();
void SetLastError(DWORD error);
DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
BOOL ReadProcessMemory(HANDLE process, LPCVOID address, LPVOID buffer, SIZE_T size, SIZE_T *read);
HANDLE GetCurrentProcess();
// kernel32 of Windows before XP SP2 has no IsWow64Process: it is to be looked up with
// GetProcAddress, which gives null on such a machine.
BOOL IsWow64Process(HANDLE process, PBOOL wow64);
HMODULE GetModuleHandleA(LPCSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);
// "C:\WINDOWS\system32" on a fresh machine; a buffer too small gets nothing and the size it
// would need, terminator included.
UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
HINSTANCE thisModule();

namespace sim {
std::vector<DWORD> &sleeps();
// Runs at every Sleep, after it is recorded, e.g. to bring up a window after some waiting.
std::function<void(DWORD)> &onSleep();

// Files are the real file system; these refuse what Windows would refuse.
void denyWriteAccess(const std::string &path);
void failReads(const std::string &path);
// GetFileSize reports this size for the file, whatever it holds; ReadFile still delivers only
// what is there.
void reportFileSize(const std::string &path, DWORD size);
int openFiles();
struct FileOpen {
  std::string path; // a wide name in UTF-8
  DWORD access;
  DWORD share;
  DWORD disposition;
  bool wide = false; // opened by CreateFileW
};
std::vector<FileOpen> &fileOpens();

// The process's environment, names without letter case as on Windows; empty on a fresh machine.
void setEnvironmentVariable(const std::string &name, const std::string &value);

// Every window belongs to a process of its own, whose memory holds only what tests write into
// it: an address on a page never written leads nowhere, and a protected page is there but
// cannot be read. Either fails a ReadProcessMemory whose range reaches it, as a whole, with
// ERROR_PARTIAL_COPY. The process and its memory outlive the window.
DWORD processIdOf(HWND window);
// The window belongs to the owner's process from now on, as a player's second window does.
void shareProcess(HWND window, HWND owner);
// Writes the bytes; the pages they touch become readable, zero-filled where nothing is written.
void writeProcessMemory(HWND window, std::uintptr_t address, const std::string &bytes);
void protectProcessPage(HWND window, std::uintptr_t address);
// The process runs with higher rights: OpenProcess fails with ERROR_ACCESS_DENIED.
void denyProcessOpen(HWND window);
// The player's process exits just as OpenProcess is called on its id, and Windows hands the id
// on to the process of the heir's window, another program, which that open then reaches; the
// player's window is gone.
void exitAtOpen(HWND player, HWND heir);
struct ProcessOpen {
  DWORD access;
  BOOL inheritHandle;
  DWORD processId;
};
std::vector<ProcessOpen> &processOpens();
struct MemoryRead {
  DWORD processId;
  std::uintptr_t address;
  std::size_t size;
  bool succeeded;
};
std::vector<MemoryRead> &memoryReads();
int openProcesses();
// Whether a process runs under WOW64 (a 32-bit process on 64-bit Windows), as IsWow64Process
// tells it; unknown: the call fails with ERROR_ACCESS_DENIED. It also fails so for a handle
// opened without a right to query the process. A fresh machine runs every process, the
// plug-in's own too, without WOW64.
enum class Wow64 { no, yes, unknown };
void setWow64(HWND window, Wow64 wow64);
void setOwnWow64(Wow64 wow64);
// Windows before XP SP2: kernel32 has no IsWow64Process.
void removeIsWow64Process();

// The full file names of the messenger's program (module null) and of the plug-in's DLL
// (thisModule()), in UTF-8; a fresh machine has both in C:\Messenger. GetModuleFileNameW gives
// them in UTF-16; a name that does not fit the buffer is cut to its size without a
// terminator, as on Windows XP.
// GetModuleHandleA knows the plug-in by the file name of its DLL, and kernel32.
void setModuleFileName(HMODULE module, const std::string &fileName);

// Back to a machine with nothing on it, every part of it.
void reset();
} // namespace sim
