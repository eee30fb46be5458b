// A stand-in for Windows' media session manager, for the Wine lab. Wine has none, but its
// combase finds a runtime class in the registry and calls its DLL's DllGetActivationFactory: so
// the shipped plug-in reaches this one through Wine's real combase, HSTRINGs and apartments.
// Its one session is the stand-in player's window of class "QUIB Stand-in Session" (no window
// of Winamp's class for the plug-in to find), read and driven with Winamp's messages, so that
// the player's log shows each press. With STANDIN_SESSIONS=never in the environment no
// operation ever completes.
#include "host/sessionapi.h"

#include <activation.h>

#include <string>
#include <type_traits>

namespace {

using namespace sessionapi;

constexpr const char *sessionWindowClass = "QUIB Stand-in Session";
constexpr GUID iidUnknown{0x00000000, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID iidInspectable{
    0xaf86e2e0, 0xb12d, 0x4c6a, {0x9c, 0x5a, 0xd7, 0xaa, 0x65, 0x10, 0x1e, 0x90}};
constexpr GUID iidActivationFactory{0x00000035, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr Ticks ticksPerMs = 10'000;
constexpr Ticks ticksPerSecond = 10'000'000;
// Winamp's messages, as the stand-in player answers them.
constexpr LPARAM requestState = 104, requestTime = 105, requestStart = 102;
constexpr WPARAM commandPrevious = 40044, commandPauseResume = 40046, commandNext = 40048,
                 commandForward5 = 40060, commandRewind5 = 40061;
constexpr std::int32_t statusStopped = 3;

LONG liveObjects = 0;

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

bool neverEnding() {
  char value[16] = {};
  DWORD n = GetEnvironmentVariableA("STANDIN_SESSIONS", value, sizeof value);
  return n && std::string(value, n) == "never";
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
  DWORD process = 0;
  GetWindowThreadProcessId(player(), &process);
  HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  if (h && !QueryFullProcessImageNameW(h, 0, path, &size)) size = 0;
  if (h) CloseHandle(h);
  return h ? std::wstring(path, size) : std::wstring();
}

template <class Interface> class Object : public Interface {
public:
  Object() { InterlockedIncrement(&liveObjects); }
  virtual ~Object() { InterlockedDecrement(&liveObjects); }
  Object(const Object &) = delete;
  Object &operator=(const Object &) = delete;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == iidUnknown || iid == iidInspectable || iid == ownIid()) {
      AddRef();
      *out = static_cast<Interface *>(this);
      return S_OK;
    }
    return other(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG left = InterlockedDecrement(&references_);
    if (!left) delete this;
    return static_cast<ULONG>(left);
  }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG *, IID **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel *level) override {
    if (level) *level = BaseTrust;
    return S_OK;
  }

protected:
  virtual GUID ownIid() const { return iidUnknown; }
  virtual HRESULT other(REFIID, void **) { return E_NOINTERFACE; }

private:
  LONG references_ = 1;
};

template <class Value> HRESULT give(Value value, Value *out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

class Info final : public Object<AsyncInfo> {
  bool cancelled_ = false;

public:
  HRESULT STDMETHODCALLTYPE get_Id(UINT32 *id) override { return give<UINT32>(1, id); }
  HRESULT STDMETHODCALLTYPE get_Status(std::int32_t *status) override {
    return give<std::int32_t>(!neverEnding() ? asyncCompleted
                              : cancelled_   ? 2
                                             : asyncStarted,
                              status);
  }
  HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT *code) override { return give(S_OK, code); }
  HRESULT STDMETHODCALLTYPE Cancel() override {
    cancelled_ = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }
};

template <class Result> class Operation final : public Object<AsyncOperation<Result>> {
  Result result_;

protected:
  HRESULT other(REFIID iid, void **out) override {
    if (!(iid == iidAsyncInfo)) return E_NOINTERFACE;
    *out = static_cast<AsyncInfo *>(new Info);
    return S_OK;
  }

public:
  explicit Operation(Result result) : result_(result) {}
  ~Operation() override {
    if constexpr (std::is_pointer_v<Result>)
      if (result_) result_->Release();
  }
  HRESULT STDMETHODCALLTYPE put_Completed(IUnknown *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Completed(IUnknown **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetResults(Result *result) override {
    if (neverEnding()) return static_cast<HRESULT>(0x8000000E); // E_ILLEGAL_METHOD_CALL
    if constexpr (std::is_pointer_v<Result>)
      if (result_) result_->AddRef();
    return give(result_, result);
  }
};

template <class Result, class Interface> HRESULT operation(Result result, Interface **out) {
  if (!out) return E_POINTER;
  *out = new Operation<Result>(result);
  return S_OK;
}

// A press reaches the player at once; the operation tells only that it was taken.
HRESULT pressed(WPARAM number, Pressed **out) {
  if (!neverEnding()) command(number);
  return operation<Boolean>(1, out);
}

class Timeline final : public Object<TimelineProperties> {
  Ticks position_ = ask(0, requestTime) * ticksPerMs;
  Ticks end_ = ask(1, requestTime) * ticksPerSecond;

public:
  HRESULT STDMETHODCALLTYPE get_StartTime(Ticks *v) override { return give<Ticks>(0, v); }
  HRESULT STDMETHODCALLTYPE get_EndTime(Ticks *v) override { return give(end_, v); }
  HRESULT STDMETHODCALLTYPE get_MinSeekTime(Ticks *v) override { return give<Ticks>(0, v); }
  HRESULT STDMETHODCALLTYPE get_MaxSeekTime(Ticks *v) override { return give(end_, v); }
  HRESULT STDMETHODCALLTYPE get_Position(Ticks *v) override { return give(position_, v); }
};

class Controls final : public Object<PlaybackControls> {
  static HRESULT yes(Boolean *v) { return give<Boolean>(1, v); }

public:
  HRESULT STDMETHODCALLTYPE get_IsPlayEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPauseEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsStopEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsRecordEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsFastForwardEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsRewindEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsNextEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPreviousEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsChannelUpEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsChannelDownEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlayPauseToggleEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsShuffleEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsRepeatEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlaybackRateEnabled(Boolean *v) override { return yes(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlaybackPositionEnabled(Boolean *v) override { return yes(v); }
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

class Playback final : public Object<PlaybackInfo> {
public:
  HRESULT STDMETHODCALLTYPE get_Controls(PlaybackControls **out) override {
    return give<PlaybackControls *>(new Controls, out);
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackStatus(std::int32_t *v) override {
    return give(status(), v);
  }
};

class Properties final : public Object<MediaProperties> {
  std::wstring artist_, title_ = track();

public:
  Properties() {
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

class StandinSession final : public Object<Session> {
public:
  HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING *out) override {
    return makeString(appId(), out);
  }
  HRESULT STDMETHODCALLTYPE
  TryGetMediaPropertiesAsync(AsyncOperation<MediaProperties *> **out) override {
    return operation<MediaProperties *>(new Properties, out);
  }
  HRESULT STDMETHODCALLTYPE GetTimelineProperties(TimelineProperties **out) override {
    return give<TimelineProperties *>(new Timeline, out);
  }
  HRESULT STDMETHODCALLTYPE GetPlaybackInfo(PlaybackInfo **out) override {
    return give<PlaybackInfo *>(new Playback, out);
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
    return pressed(commandPrevious, out);
  }
  HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(Pressed **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(Pressed **out) override {
    if (status() == statusStopped && !neverEnding()) {
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
    return pressed(position < now ? commandRewind5 : commandForward5, out);
  }
};

class StandinManager final : public Object<Manager> {
public:
  HRESULT STDMETHODCALLTYPE GetCurrentSession(Session **out) override {
    return give<Session *>(player() ? new StandinSession : nullptr, out);
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
  HRESULT other(REFIID iid, void **out) override {
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
  return liveObjects ? S_FALSE : S_OK;
}
