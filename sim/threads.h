// kernel32's threads, libraries loaded at run time and clock, a part of win32sim.h. One thread
// runs at a time: a thread's routine runs when it is first waited for, on the caller's stack but
// as a thread of its own (its own COM apartment), and the time it sleeps is what that wait
// lasted.
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

inline constexpr DWORD INFINITE = 0xFFFFFFFF;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_TIMEOUT = 258;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
// The clock's time: every Sleep moves it on.
void GetSystemTimeAsFileTime(FILETIME *time);
HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                    LPTHREAD_START_ROUTINE routine, LPVOID parameter, DWORD flags,
                    LPDWORD threadId);
// Of a thread handle; the routine runs at the first wait, and the wait times out when it slept
// for the timeout or longer.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
HMODULE LoadLibraryA(LPCSTR fileName);
BOOL FreeLibrary(HMODULE module);
inline constexpr DWORD GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS = 0x00000004;
// The plug-in's own module for an address, counted as a load until it is freed.
BOOL GetModuleHandleExW(DWORD flags, LPCWSTR address, HMODULE *module);
// Frees the library and ends the running thread: its wait returns.
[[noreturn]] void FreeLibraryAndExitThread(HMODULE module, DWORD exitCode);

namespace sim {
// Runs the body as another thread: COM's apartment is that thread's own while it runs. Gives
// the milliseconds the body slept.
std::uint64_t runAsThread(const std::function<void()> &body);
// True while a thread other than the messenger's runs.
bool onOtherThread();
// The milliseconds every Sleep of every thread added up.
std::uint64_t clockMs();
// GetSystemTimeAsFileTime's time, in 100 ns units since 1601.
std::int64_t fileTimeNow();
// Thread handles not closed, and libraries loaded and not freed.
int openThreads();
int loadedLibraries();
// For CloseHandle: true when the handle was a thread's.
bool closeThread(HANDLE handle);
void resetThreads();
} // namespace sim
