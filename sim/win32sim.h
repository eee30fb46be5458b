#pragma once
// A small simulated Win32 for the native build: the functions, types and constants the
// plug-in calls, over in-memory state that tests set up and inspect.
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#define WINAPI
#define CALLBACK

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using CHAR = char;
using LCID = DWORD;
using REGSAM = DWORD;
using LSTATUS = LONG;
using MMRESULT = UINT;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using PDWORD_PTR = DWORD_PTR *;
using LPDWORD = DWORD *;
using LPBYTE = BYTE *;
using LPCSTR = const char *;
using LPSTR = char *;
using LPVOID = void *;
using LPCVOID = const void *;
using SIZE_T = std::size_t;
using PBOOL = BOOL *;
using FARPROC = std::intptr_t (*)();

struct SimWindow;
struct SimInstance;
struct SimIcon;
struct SimKey;
struct SimHandle;
struct SimMixerObject;
using HWND = SimWindow *;
using HINSTANCE = SimInstance *;
using HMODULE = HINSTANCE;
using HICON = SimIcon *;
using HKEY = SimKey *;
using HANDLE = SimHandle *;
using HMIXEROBJ = SimMixerObject *;
using LPSECURITY_ATTRIBUTES = void *;
using LPOVERLAPPED = void *;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_COMMAND = 0x0111;
inline constexpr UINT WM_USER = 0x0400;

inline constexpr UINT SMTO_NORMAL = 0x0000;
inline constexpr UINT SMTO_BLOCK = 0x0001;
inline constexpr UINT SMTO_ABORTIFHUNG = 0x0002;

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONHAND = 0x00000010;
inline constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
inline constexpr UINT MB_TASKMODAL = 0x00002000;
inline constexpr UINT MB_TOPMOST = 0x00040000;

inline constexpr DWORD NORM_IGNORECASE = 0x00000001;
inline constexpr int CSTR_LESS_THAN = 1;
inline constexpr int CSTR_EQUAL = 2;
inline constexpr int CSTR_GREATER_THAN = 3;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

inline constexpr DWORD MAX_PATH = 260;

inline const HKEY HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000});
inline constexpr REGSAM KEY_READ = 0x20019;
inline constexpr DWORD REG_SZ = 1;

inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr LONG ERROR_MOD_NOT_FOUND = 126;
inline constexpr LONG ERROR_PROC_NOT_FOUND = 127;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr LONG ERROR_TIMEOUT = 1460;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_PARTIAL_COPY = 299;

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

inline constexpr int SW_SHOWNORMAL = 1;

inline LPCSTR MAKEINTRESOURCEA(std::uintptr_t id) {
  return reinterpret_cast<LPCSTR>(id);
}

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MIXERR_INVALLINE = 1024;
inline constexpr MMRESULT MIXERR_INVALCONTROL = 1025;
inline constexpr DWORD MIXER_OBJECTF_MIXER = 0x00000000;
inline constexpr DWORD MIXER_GETLINEINFOF_COMPONENTTYPE = 0x00000003;
inline constexpr DWORD MIXER_GETLINECONTROLSF_ONEBYTYPE = 0x00000002;
inline constexpr DWORD MIXER_SETCONTROLDETAILSF_VALUE = 0x00000000;
inline constexpr DWORD MIXERLINE_COMPONENTTYPE_DST_SPEAKERS = 4;
inline constexpr DWORD MIXERCONTROL_CONTROLTYPE_MUTE = 0x20010002;

struct MIXERLINEA {
  DWORD cbStruct;
  DWORD dwDestination;
  DWORD dwSource;
  DWORD dwLineID;
  DWORD fdwLine;
  DWORD_PTR dwUser;
  DWORD dwComponentType;
  DWORD cChannels;
  DWORD cConnections;
  DWORD cControls;
  CHAR szShortName[16];
  CHAR szName[64];
  struct {
    DWORD dwType;
    DWORD dwDeviceID;
    WORD wMid;
    WORD wPid;
    DWORD vDriverVersion;
    CHAR szPname[32];
  } Target;
};

struct MIXERCONTROLA {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD dwControlType;
  DWORD fdwControl;
  DWORD cMultipleItems;
  CHAR szShortName[16];
  CHAR szName[64];
  union {
    struct {
      LONG lMinimum;
      LONG lMaximum;
    };
    DWORD dwReserved[6];
  } Bounds;
  union {
    DWORD cSteps;
    DWORD cbCustomData;
    DWORD dwReserved[6];
  } Metrics;
};

struct MIXERLINECONTROLSA {
  DWORD cbStruct;
  DWORD dwLineID;
  union {
    DWORD dwControlID;
    DWORD dwControlType;
  };
  DWORD cControls;
  DWORD cbmxctrl;
  MIXERCONTROLA *pamxctrl;
};

struct MIXERCONTROLDETAILS {
  DWORD cbStruct;
  DWORD dwControlID;
  DWORD cChannels;
  union {
    HWND hwndOwner;
    DWORD cMultipleItems;
  };
  DWORD cbDetails;
  LPVOID paDetails;
};

struct MIXERCONTROLDETAILS_BOOLEAN {
  LONG fValue;
};

// The functions the plug-in calls.
HWND FindWindowA(LPCSTR className, LPCSTR windowName);
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                            UINT timeout, PDWORD_PTR result);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
BOOL DestroyIcon(HICON icon);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int CompareStringA(LCID locale, DWORD flags, LPCSTR s1, int n1, LPCSTR s2, int n2);
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access, HKEY *result);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD size);
LSTATUS RegCloseKey(HKEY key);
HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters,
                        LPCSTR directory, INT showCommand);
void Sleep(DWORD milliseconds);
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                   DWORD disposition, DWORD flags, HANDLE templateFile);
DWORD GetFileSize(HANDLE file, LPDWORD sizeHigh);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped);
BOOL CloseHandle(HANDLE handle);
MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA *line, DWORD flags);
MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA *controls, DWORD flags);
MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS *details, DWORD flags);

DWORD GetLastError();
void SetLastError(DWORD error);

DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size);
DWORD GetWindowThreadProcessId(HWND window, LPDWORD processId);
HANDLE OpenProcess(DWORD access, BOOL inheritHandle, DWORD processId);
BOOL ReadProcessMemory(HANDLE process, LPCVOID address, LPVOID buffer, SIZE_T size, SIZE_T *read);
HANDLE GetCurrentProcess();
// kernel32 of Windows before XP SP2 has no IsWow64Process: it is to be looked up with
// GetProcAddress, which gives null on such a machine.
BOOL IsWow64Process(HANDLE process, PBOOL wow64);
HMODULE GetModuleHandleA(LPCSTR moduleName);
FARPROC GetProcAddress(HMODULE module, LPCSTR name);
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);

HINSTANCE thisModule();

// What tests set up and inspect.
namespace sim {

using WindowProc = std::function<LRESULT(UINT message, WPARAM wParam, LPARAM lParam)>;

HWND addWindow(const std::string &className, const std::string &caption, WindowProc proc);
void removeWindow(HWND window);
void setCaption(HWND window, const std::string &caption);
// A hung window answers no message: a bounded send returns after its time limit with 0.
void setHung(HWND window, bool hung);
// A window of a process with higher rights refuses every message with ERROR_ACCESS_DENIED.
void setRefusing(HWND window, bool refusing);

struct SentMessage {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  bool bounded; // sent with a time limit
  UINT flags;
  UINT timeout;
};
std::vector<SentMessage> &sentMessages();
// Milliseconds the messenger's thread would have waited on hung windows.
std::uint64_t &waitedOnHungMs();

struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;
  UINT flags;
};
std::vector<MessageBoxCall> &messageBoxes();

struct ShellCall {
  HWND owner;
  std::string operation;
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand;
};
std::vector<ShellCall> &shellCalls();
// Runs at every ShellExecuteA, e.g. to bring up a player window.
std::function<void(const ShellCall &)> &onShellExecute();

std::vector<DWORD> &sleeps();
// Runs at every Sleep, after it is recorded, e.g. to bring up a window after some waiting.
std::function<void(DWORD)> &onSleep();

// Registry values: (root, sub key, value name) -> raw bytes as stored, NUL included.
void setRegistryValue(HKEY root, const std::string &subKey, const std::string &valueName,
                      const std::string &bytes);
int openRegistryKeys();

// Files are the real file system; these refuse what Windows would refuse.
void denyWriteAccess(const std::string &path);
void failReads(const std::string &path);
// GetFileSize reports this size for the file, whatever it holds; ReadFile still delivers only
// what is there.
void reportFileSize(const std::string &path, DWORD size);
int openFiles();
struct FileOpen {
  std::string path;
  DWORD access;
  DWORD share;
  DWORD disposition;
};
std::vector<FileOpen> &fileOpens();

int liveIcons();
int loadedIcons();
// The icon ids the plug-in's module holds.
void setModuleIcons(const std::vector<int> &ids);
int iconIdOf(HICON icon);

struct Mixer {
  bool present = true;
  bool hasSpeakers = true;
  bool hasMute = true;
  MMRESULT setResult = MMSYSERR_NOERROR;
  DWORD speakersLineId = 0xFFFF0000;
  DWORD muteControlId = 7;
  std::vector<MIXERLINEA> lineRequests;
  std::vector<MIXERLINECONTROLSA> controlRequests;
  std::vector<MIXERCONTROLDETAILS> setRequests;
  std::vector<LONG> setValues;
  std::vector<DWORD> flags;
  std::vector<HMIXEROBJ> devices;
};
Mixer &mixer();

// The process's environment, names without letter case as on Windows; empty on a fresh machine.
void setEnvironmentVariable(const std::string &name, const std::string &value);

// The system locale (its code page is the ANSI code page, "language for non-Unicode programs")
// and the user's regional formats; both ru-RU (0x0419, code page 1251) on a fresh machine.
// Russian locales fold case in code page 1251, all others in 1252.
void setLocales(LCID system, LCID user);
// Every window belongs to a process of its own, whose memory holds only what tests write into
// it: an address on a page never written leads nowhere, and a protected page is there but
// cannot be read. Either fails a ReadProcessMemory whose range reaches it, as a whole, with
// ERROR_PARTIAL_COPY. The process and its memory outlive the window.
DWORD processIdOf(HWND window);
// Writes the bytes; the pages they touch become readable, zero-filled where nothing is written.
void writeProcessMemory(HWND window, std::uintptr_t address, const std::string &bytes);
void protectProcessPage(HWND window, std::uintptr_t address);
// The process runs with higher rights: OpenProcess fails with ERROR_ACCESS_DENIED.
void denyProcessOpen(HWND window);
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
// (thisModule()), as GetModuleFileNameA gives them; a fresh machine has both in C:\Messenger.
// A name that does not fit the buffer is cut to its size without a terminator, as on Windows
// XP. GetModuleHandleA knows the plug-in by the file name of its DLL, and kernel32.
void setModuleFileName(HMODULE module, const std::string &fileName);

// Back to a machine with nothing on it.
void reset();

} // namespace sim

// COM and Core Audio: the default playback endpoint's mute (Windows Vista and later). The
// interfaces keep the real vtable order, IUnknown first.
#define STDMETHODCALLTYPE

using HRESULT = LONG;
using ULONG = std::uint32_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR *;
using LPCWSTR = const WCHAR *;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID &;
using REFCLSID = const CLSID &;
using LPCGUID = const GUID *;
bool operator==(const GUID &a, const GUID &b);

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT E_NOTFOUND = static_cast<HRESULT>(0x80070490);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
inline constexpr HRESULT AUDCLNT_E_DEVICE_INVALIDATED = static_cast<HRESULT>(0x88890004);
inline bool SUCCEEDED(HRESULT result) {
  return result >= 0;
}
inline bool FAILED(HRESULT result) {
  return result < 0;
}

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_ALL = 0x17;

enum EDataFlow { eRender, eCapture, eAll };
enum ERole { eConsole, eMultimedia, eCommunications };

struct IMMDeviceCollection;
struct IMMNotificationClient;
struct IPropertyStore;
struct PROPVARIANT;
struct IAudioEndpointVolumeCallback;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown *;

struct IMMDevice : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT *parameters,
                                             void **object) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore **store) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetId(LPWSTR *id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(DWORD *state) = 0;
};

struct IMMDeviceEnumerator : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                       IMMDeviceCollection **devices) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                            IMMDevice **endpoint) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice **device) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient *client) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient *client) = 0;
};

struct IAudioEndpointVolume : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE
  RegisterControlChangeNotify(IAudioEndpointVolumeCallback *notify) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterControlChangeNotify(IAudioEndpointVolumeCallback *notify) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelCount(UINT *count) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float levelDB, LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float level, LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float *levelDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float *level) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT channel, float levelDB,
                                                          LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT channel, float level,
                                                                LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT channel, float *levelDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel, float *level) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMute(BOOL *mute) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT *step, UINT *stepCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD *mask) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolumeRange(float *minDB, float *maxDB,
                                                   float *incrementDB) = 0;
};

class MMDeviceEnumerator;

// The GUIDs by type, as mingw-w64's __uuidof gives them.
template <class T> const GUID &simUuidOf();
template <> const GUID &simUuidOf<MMDeviceEnumerator>();
template <> const GUID &simUuidOf<IMMDeviceEnumerator>();
template <> const GUID &simUuidOf<IMMDevice>();
template <> const GUID &simUuidOf<IAudioEndpointVolume>();
template <> const GUID &simUuidOf<IUnknown>();
#define __uuidof(type) simUuidOf<type>()

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID *object);

namespace sim {

// The COM apartment of the messenger's thread.
enum class Apartment { none, singleThreaded, multithreaded };

struct SetMuteCall {
  BOOL mute;
  bool withContext; // a context GUID was given
  GUID context;
};

// Core Audio and the thread's COM. A fresh machine has no Core Audio, as Windows XP.
struct CoreAudio {
  // The machine
  bool registered = false; // the enumerator class is registered (Vista and later)
  bool defaultEndpoint = true;
  HRESULT activateResult = S_OK;
  HRESULT setMuteResult = S_OK; // S_OK, S_FALSE or a failure
  Apartment apartment = Apartment::none;
  int initialisations = 0; // outstanding CoInitializeEx calls on the thread
  // What happened: every call by name, in order ("CoInitializeEx", "SetMute", "Release
  // device", ...), and the arguments that matter
  std::vector<std::string_view> calls;
  std::vector<HRESULT> initialiseResults;
  std::vector<DWORD> createContexts;
  std::vector<std::pair<EDataFlow, ERole>> endpointRequests;
  std::vector<DWORD> activateContexts;
  std::vector<SetMuteCall> setMutes;
  bool endpointMuted = false;
  // Calls that real COM would not survive: on a released object, without COM, or
  // uninitialising more than was initialised
  std::vector<std::string> misuses;
};
CoreAudio &coreAudio();
// Switches Core Audio on, as on Windows Vista and later.
void installCoreAudio();
// No Core Audio and no COM on the thread, as on a fresh machine; part of reset().
void resetCoreAudio();
// The reference counts of the enumerator, the device and the endpoint volume.
struct ComReferences {
  ULONG enumerator, device, endpointVolume;
  bool operator==(const ComReferences &) const = default;
};
ComReferences comReferences();
// The plug-in's own CoInitializeEx calls that took (S_OK, S_FALSE) less its CoUninitialize
// calls: 0 when it balanced them.
int unbalancedComInitialisations();

} // namespace sim
