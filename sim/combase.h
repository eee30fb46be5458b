// combase of the simulated Win32, a part of win32sim.h: HSTRINGs, activation factories and the
// media sessions' manager behind them (Windows 10 1809 and later). The plug-in finds combase's
// functions with LoadLibraryA and GetProcAddress alone.
#include <map>
#include <optional>

using UINT32 = std::uint32_t;
struct SimString;
using HSTRING = SimString *;
enum TrustLevel { BaseTrust, PartialTrust, FullTrust };

struct IInspectable : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetIids(ULONG *count, IID **iids) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING *name) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel *level) = 0;
};

namespace sim {
// How every asynchronous operation of the sessions ends: at once, after lateMs of the time
// threads sleep, never (until cancelled), or with an error.
enum class AsyncEnd { atOnce, late, never, fails };

inline constexpr std::int32_t sessionPlaying = 4;
inline constexpr std::int32_t sessionPaused = 5;
inline constexpr std::int64_t ticksPerSecond = 10'000'000;

// A session: its program, its track and timeline (in 100 ns ticks) and its state.
struct MediaSession {
  std::wstring appId = L"Spotify.exe";
  std::wstring title = L"Some Song";
  std::wstring artist = L"Some Artist";
  std::int32_t status = sessionPlaying;
  std::int64_t startTime = 0;
  std::int64_t endTime = 215 * ticksPerSecond;
  std::int64_t position = 83 * ticksPerSecond;
  std::int64_t minSeek = 0, maxSeek = 215 * ticksPerSecond;
  // How long before now the player stamped the position; none leaves the stamp 0 (unset).
  std::optional<std::int64_t> stampAge;
  std::optional<double> rate; // none: the player tells no rate
  bool positionEnabled = true;
};

struct Sessions {
  // The machine: a fresh one has neither, as Windows XP.
  bool combase = false;
  bool registered = false; // the session manager's class
  std::optional<MediaSession> current;
  std::vector<MediaSession> others; // GetSessions gives the current one first, then these
  // The Apps folder's name for each app id that has one (Windows 8 and later).
  std::map<std::wstring, std::wstring> appNames;
  // A call of this name blocks the thread that makes it for so long, as with a hung player.
  std::string_view blockingCall;
  DWORD blockMs = 0;
  AsyncEnd ending = AsyncEnd::atOnce;
  DWORD lateMs = 200;
  // What happened: the calls by name ("RoGetActivationFactory", "TrySkipNextAsync", "Cancel",
  // ...), the positions asked for, and calls real Windows would not survive or would not
  // answer: on a released object, without COM, on the messenger's thread.
  std::vector<std::string_view> calls;
  std::vector<std::int64_t> positionsAsked;
  std::vector<std::string> misuses;
};
Sessions &sessions();
// combase and the session manager's class, as on Windows 10 1809 and later.
void installSessionManager();
// combase's and shell32's module for LoadLibraryA's name in lower case, or null.
HMODULE libraryNamed(const std::string &name);
// combase's or shell32's function of that name, for GetProcAddress; null for any other.
FARPROC combaseProcedure(HMODULE module, LPCSTR name);
// Objects and HSTRINGs handed out and not yet released.
int liveSessionObjects();
int liveStrings();
void resetSessions();
// combase's functions, as the bindings of the emulator call them.
HRESULT roGetActivationFactory(HSTRING name, REFIID iid, void **factory);
HRESULT windowsCreateString(const WCHAR *text, UINT32 length, HSTRING *string);
HRESULT windowsDeleteString(HSTRING string);
const WCHAR *windowsGetStringRawBuffer(HSTRING string, UINT32 *length);
HRESULT shCreateItemInKnownFolder(const GUID &folder, DWORD flags, LPCWSTR item, REFIID iid,
                                  void **out);
} // namespace sim
