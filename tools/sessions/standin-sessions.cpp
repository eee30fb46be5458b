// A stand-in for Windows' media session manager, for the Wine lab. Wine has none, but its
// combase finds a runtime class in the registry and calls its DLL's DllGetActivationFactory: so
// the shipped plug-in reaches this one through Wine's real combase, HSTRINGs and apartments.
// Its main session is the stand-in player's window of class "QUIB Stand-in Session" (no window
// of Winamp's class for the plug-in to find), read and driven with Winamp's messages, so that
// the player's log shows each press. Words in STANDIN_SESSIONS: "never", no operation ever
// completes; "stale", the position was stamped a minute ago; "second", the current session is a
// paused one no player backs, the player's comes second; "block", a previous-track press takes
// 15 s; "packaged" or "hash", the app id is a packaged app's or a bare hash.
#include "sim/winrtobjects.h"

#include <activation.h>

#include <string>

namespace {

using namespace sessionapi;
using winrt::answer;
template <class Interface> using Object = winrt::Inspectable<Interface>;

constexpr const char *sessionWindowClass = "QUIB Stand-in Session";
constexpr GUID iidActivationFactory{0x00000035, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Ticks ticksPerMs = 10'000;
constexpr Ticks ticksPerSecond = 10'000'000;
// Winamp's messages, as the stand-in player answers them.
constexpr LPARAM requestState = 104, requestTime = 105, requestStart = 102, requestJump = 106;
constexpr WPARAM commandPrevious = 40044, commandPauseResume = 40046, commandNext = 40048,
                 commandForward5 = 40060, commandRewind5 = 40061;
constexpr std::int32_t statusStopped = 3;

HWND player() {
  return FindWindowA(sessionWindowClass, nullptr);
}

LRESULT ask(WPARAM wParam, LPARAM request) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(player(), WM_USER, wParam, request, SMTO_ABORTIFHUNG, 5000, &answer);
  return static_cast<LRESULT>(answer);
}

void command(WPARAM number) {
  DWORD_PTR answer = 0;
  SendMessageTimeoutA(player(), WM_COMMAND, number, 0, SMTO_ABORTIFHUNG, 5000, &answer);
}

bool mode(const std::string &word) {
  char value[64] = {};
  DWORD n = GetEnvironmentVariableA("STANDIN_SESSIONS", value, sizeof value);
  return (" " + std::string(value, n < sizeof value ? n : 0) + " ").find(" " + word + " ") !=
         std::string::npos;
}

DateTime systemTime() {
  FILETIME t{};
  GetSystemTimeAsFileTime(&t);
  return static_cast<DateTime>(std::uint64_t{t.dwHighDateTime} << 32 | t.dwLowDateTime);
}

HRESULT makeString(const std::wstring &text, HSTRING *out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto create = reinterpret_cast<WindowsCreateStringFunction>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("combase.dll"), "WindowsCreateString")));
  if (text.empty()) return S_OK;
  return create ? create(text.c_str(), static_cast<UINT32>(text.size()), out) : E_FAIL;
}

// The player's caption without its number, " - Winamp" and the state: "Artist - Title".
std::wstring track() {
  wchar_t text[512] = {};
  int n = GetWindowTextW(player(), text, 512);
  std::wstring caption(text, n > 0 ? n : 0);
  std::size_t suffix = caption.rfind(L" - Winamp");
  if (suffix != std::wstring::npos) caption.erase(suffix);
  std::size_t number = caption.find(L". ");
  if (number != std::wstring::npos && caption.find_first_not_of(L"0123456789") == number)
    caption.erase(0, number + 2);
  return caption;
}

// The program that shows the session, as Windows names it: the path of its file.
std::wstring appId() {
  if (mode("packaged")) return L"AppleInc.AppleMusicWin_nzyj5cx40ttqa!App";
  if (mode("hash")) return L"308046B0AF4A39CB";
  DWORD process = 0;
  GetWindowThreadProcessId(player(), &process);
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (h && !QueryFullProcessImageNameW(h, 0, path, &size)) size = 0;
  if (h) CloseHandle(h);
  return h ? std::wstring(path, size) : std::wstring();
}

// The operations end at once, or with STANDIN_SESSIONS=never not until they are cancelled.
struct StandinProgress final : winrt::Progress {
  bool cancelled = false;
  std::int32_t status() const override {
    return !mode("never") ? asyncCompleted : cancelled ? winrt::asyncCanceled : asyncStarted;
  }
  void cancel() override { cancelled = true; }
};

template <class Result, class Interface> HRESULT operation(Result result, Interface **out) {
  return winrt::handOut<winrt::Operation<Result>>(out, std::make_shared<StandinProgress>(), result);
}

class Timeline final : public Object<TimelineProperties> {
  Ticks position_ = ask(0, requestTime) * ticksPerMs;
  Ticks end_ = ask(1, requestTime) * ticksPerSecond;
  DateTime stamp_ = mode("stale") ? systemTime() - 60 * ticksPerSecond : 0;

public:
  HRESULT STDMETHODCALLTYPE get_StartTime(Ticks *v) override { return answer<Ticks>(0, v); }
  HRESULT STDMETHODCALLTYPE get_EndTime(Ticks *v) override { return answer(end_, v); }
  HRESULT STDMETHODCALLTYPE get_MinSeekTime(Ticks *v) override { return answer<Ticks>(0, v); }
  HRESULT STDMETHODCALLTYPE get_MaxSeekTime(Ticks *v) override { return answer(end_, v); }
  HRESULT STDMETHODCALLTYPE get_Position(Ticks *v) override { return answer(position_, v); }
  HRESULT STDMETHODCALLTYPE get_LastUpdatedTime(DateTime *v) override { return answer(stamp_, v); }
};

// The stand-in player's state as a session's status.
std::int32_t status() {
  switch (ask(0, requestState)) {
  case 1:
    return statusPlaying;
  case 3:
    return statusPaused;
  default:
    return statusStopped;
  }
}

struct Rate final : Object<DoubleReference> {
  HRESULT STDMETHODCALLTYPE get_Value(double *v) override { return answer(1.0, v); }
};

class Playback final : public Object<PlaybackInfo> {
  bool unbacked_;

public:
  explicit Playback(bool unbacked) : unbacked_(unbacked) {}
  HRESULT STDMETHODCALLTYPE get_Controls(PlaybackControls **out) override {
    return answer<PlaybackControls *>(new winrt::Controls(1), out);
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackStatus(std::int32_t *v) override {
    return answer(unbacked_ ? statusPaused : status(), v);
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackType(IInspectable **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_AutoRepeatMode(IInspectable **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_PlaybackRate(DoubleReference **out) override {
    return answer<DoubleReference *>(mode("stale") ? new Rate : nullptr, out);
  }
};

class Properties final : public Object<MediaProperties> {
  std::wstring artist_, title_;

public:
  explicit Properties(bool unbacked) : title_(unbacked ? L"Paused Song" : track()) {
    std::size_t dash = title_.find(L" - ");
    if (dash == std::wstring::npos) return;
    artist_ = title_.substr(0, dash);
    title_.erase(0, dash + 3);
  }
  HRESULT STDMETHODCALLTYPE get_Title(HSTRING *out) override { return makeString(title_, out); }
  HRESULT STDMETHODCALLTYPE get_Subtitle(HSTRING *out) override { return makeString({}, out); }
  HRESULT STDMETHODCALLTYPE get_AlbumArtist(HSTRING *out) override { return makeString({}, out); }
  HRESULT STDMETHODCALLTYPE get_Artist(HSTRING *out) override { return makeString(artist_, out); }
};

// The player's session, or a paused one no player backs. A press reaches the player at once, but
// none the other's; the operation tells only that it was taken.
class StandinSession final : public Object<Session> {
  bool unbacked_;
  bool heard() const { return !unbacked_ && !mode("never"); }
  HRESULT pressed(WPARAM number, Pressed **out) {
    if (heard()) command(number);
    return operation<Boolean>(1, out);
  }

public:
  explicit StandinSession(bool unbacked = false) : unbacked_(unbacked) {}
  HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING *out) override {
    return makeString(appId(), out);
  }
  HRESULT STDMETHODCALLTYPE
  TryGetMediaPropertiesAsync(AsyncOperation<MediaProperties *> **out) override {
    return operation<MediaProperties *>(new Properties(unbacked_), out);
  }
  HRESULT STDMETHODCALLTYPE GetTimelineProperties(TimelineProperties **out) override {
    return answer<TimelineProperties *>(new Timeline, out);
  }
  HRESULT STDMETHODCALLTYPE GetPlaybackInfo(PlaybackInfo **out) override {
    return answer<PlaybackInfo *>(new Playback(unbacked_), out);
  }
  HRESULT STDMETHODCALLTYPE TryPlayAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryPauseAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryStopAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryRecordAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryFastForwardAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryRewindAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TrySkipNextAsync(Pressed **out) override {
    return pressed(commandNext, out);
  }
  HRESULT STDMETHODCALLTYPE TrySkipPreviousAsync(Pressed **out) override {
    if (mode("block")) Sleep(15000);
    return pressed(commandPrevious, out);
  }
  HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(Pressed **out) override {
    if (heard() && status() == statusStopped) {
      ask(0, requestStart);
      return operation<Boolean>(1, out);
    }
    return pressed(commandPauseResume, out);
  }
  HRESULT STDMETHODCALLTYPE TryChangeAutoRepeatModeAsync(std::int32_t, Pressed **) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TryChangePlaybackRateAsync(double, Pressed **) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE TryChangeShuffleActiveAsync(Boolean, Pressed **) override {
    return E_NOTIMPL;
  }
  // The stand-in player moves in 5-second steps: one step towards the position asked for.
  HRESULT STDMETHODCALLTYPE TryChangePlaybackPositionAsync(Ticks position, Pressed **out) override {
    Ticks now = ask(0, requestTime) * ticksPerMs;
    if (heard()) ask(static_cast<WPARAM>(position / ticksPerMs), requestJump);
    return pressed(position < now ? commandRewind5 : commandForward5, out);
  }
};

struct Sessions final : Object<SessionList> {
  UINT32 unbacked = mode("second") ? 1 : 0, size = unbacked + (player() ? 1 : 0);
  HRESULT STDMETHODCALLTYPE GetAt(UINT32 i, Session **out) override {
    return i < size ? answer<Session *>(new StandinSession(i < unbacked), out) : E_INVALIDARG;
  }
  HRESULT STDMETHODCALLTYPE get_Size(UINT32 *v) override { return answer(size, v); }
};

class StandinManager final : public Object<Manager> {
public:
  HRESULT STDMETHODCALLTYPE GetCurrentSession(Session **out) override {
    if (mode("second")) return answer<Session *>(new StandinSession(true), out);
    return answer<Session *>(player() ? new StandinSession : nullptr, out);
  }
  HRESULT STDMETHODCALLTYPE GetSessions(SessionList **out) override {
    return answer<SessionList *>(new Sessions, out);
  }
};

class Statics final : public Object<ManagerStatics> {
protected:
  GUID ownIid() const override { return iidManagerStatics; }

public:
  HRESULT STDMETHODCALLTYPE RequestAsync(AsyncOperation<Manager *> **out) override {
    return operation<Manager *>(new StandinManager, out);
  }
};

class Factory final : public Object<IActivationFactory> {
protected:
  GUID ownIid() const override { return iidActivationFactory; }
  HRESULT otherInterface(REFIID iid, void **out) override {
    if (!(iid == iidManagerStatics)) return E_NOINTERFACE;
    *out = static_cast<ManagerStatics *>(new Statics);
    return S_OK;
  }

public:
  HRESULT STDMETHODCALLTYPE ActivateInstance(IInspectable **) override { return E_NOTIMPL; }
};

} // namespace

extern "C" HRESULT WINAPI DllGetActivationFactory(HSTRING, IActivationFactory **factory) {
  if (!factory) return E_POINTER;
  *factory = new Factory;
  return S_OK;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() {
  return winrt::liveObjects() ? S_FALSE : S_OK;
}
