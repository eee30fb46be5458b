// combase of the simulated Win32: HSTRINGs, RoGetActivationFactory and the media sessions'
// objects, each counted from its hand-out to its last Release.
#include "machine.h"

#include "host/sessionapi.h"

#include <set>
#include <type_traits>

struct SimString {
  std::wstring text;
};

namespace {

using namespace sessionapi;

constexpr GUID iidUnknown{0x00000000, 0x0000, 0x0000, {0xc0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr GUID iidInspectable{
    0xaf86e2e0, 0xb12d, 0x4c6a, {0x9c, 0x5a, 0xd7, 0xaa, 0x65, 0x10, 0x1e, 0x90}};
constexpr HRESULT illegalMethodCall = static_cast<HRESULT>(0x8000000E);
constexpr std::int32_t asyncCanceled = 2;
constexpr std::int32_t asyncError = 3;

struct Combase {
  sim::Sessions sessions;
  std::set<SimString *> strings;
  int objects = 0;
};
Combase &combase() {
  static Combase c;
  return c;
}
sim::Sessions &state() {
  return combase().sessions;
}

SimInstance combaseModule;

// Notes a call; one without COM or on the messenger's thread is a misuse.
void called(std::string_view call) {
  sim::Sessions &s = state();
  s.calls.push_back(call);
  if (sim::coreAudio().apartment == sim::Apartment::none)
    s.misuses.push_back(std::string(call) + " without COM");
  if (!sim::onOtherThread()) s.misuses.push_back(std::string(call) + " on the messenger's thread");
}

HRESULT giveString(const std::wstring &text, HSTRING *out) {
  if (!out) return E_POINTER;
  // As WinRT: the empty string is the null HSTRING.
  *out = text.empty() ? nullptr : new SimString{text};
  if (*out) combase().strings.insert(*out);
  return S_OK;
}

template <class Interface> class Inspectable : public Interface {
public:
  Inspectable() { ++combase().objects; }
  Inspectable(const Inspectable &) = delete;
  Inspectable &operator=(const Inspectable &) = delete;
  virtual ~Inspectable() { --combase().objects; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid == iidUnknown || iid == iidInspectable) return give(this, out);
    return queryOther(iid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --references_;
    if (!left) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE GetIids(ULONG *, IID **) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRuntimeClassName(HSTRING *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTrustLevel(TrustLevel *) override { return E_NOTIMPL; }

protected:
  virtual HRESULT queryOther(REFIID, void **) { return E_NOINTERFACE; }
  template <class Given> static HRESULT give(Given *object, void **out) {
    object->AddRef();
    *out = static_cast<Interface *>(object);
    return S_OK;
  }

private:
  ULONG references_ = 1;
};

// Hands out a new object, its one reference the caller's.
template <class Object, class Interface, class... Args>
HRESULT handOut(Interface **out, Args &&...args) {
  if (!out) return E_POINTER;
  *out = new Object(std::forward<Args>(args)...);
  return S_OK;
}

// When an operation started, and whether it was cancelled: shared with its IAsyncInfo.
struct OperationClock {
  std::uint64_t startedAt = sim::clockMs();
  bool cancelled = false;
  std::int32_t status() const {
    switch (state().ending) {
    case sim::AsyncEnd::atOnce:
      return asyncCompleted;
    case sim::AsyncEnd::late:
      return sim::clockMs() >= startedAt + state().lateMs ? asyncCompleted : asyncStarted;
    case sim::AsyncEnd::never:
      return cancelled ? asyncCanceled : asyncStarted;
    case sim::AsyncEnd::fails:
      break;
    }
    return asyncError;
  }
};

class Info final : public Inspectable<AsyncInfo> {
  std::shared_ptr<OperationClock> clock_;

public:
  explicit Info(std::shared_ptr<OperationClock> clock) : clock_(std::move(clock)) {}
  HRESULT STDMETHODCALLTYPE get_Id(UINT32 *) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE get_Status(std::int32_t *status) override {
    if (!status) return E_POINTER;
    *status = clock_->status();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT *code) override {
    if (!code) return E_POINTER;
    *code = clock_->status() == asyncError ? E_FAIL : S_OK;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Cancel() override {
    called("Cancel");
    clock_->cancelled = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }
};

template <class Result> class Operation final : public Inspectable<AsyncOperation<Result>> {
  std::shared_ptr<OperationClock> clock_ = std::make_shared<OperationClock>();
  Result result_;

protected:
  HRESULT queryOther(REFIID iid, void **out) override {
    if (!(iid == iidAsyncInfo)) return E_NOINTERFACE;
    *out = static_cast<AsyncInfo *>(new Info(clock_));
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
    if (!result) return E_POINTER;
    if (clock_->status() != asyncCompleted) return illegalMethodCall;
    if constexpr (std::is_pointer_v<Result>)
      if (result_) result_->AddRef();
    *result = result_;
    return S_OK;
  }
};

// A press that the session takes unless its operations never end or fail.
template <class Change> HRESULT press(std::string_view call, Pressed **out, Change change) {
  called(call);
  bool takes = state().ending == sim::AsyncEnd::atOnce || state().ending == sim::AsyncEnd::late;
  if (takes && state().current) change(*state().current);
  return handOut<Operation<Boolean>>(out, Boolean{takes});
}
HRESULT press(std::string_view call, Pressed **out) {
  return press(call, out, [](sim::MediaSession &) {});
}

HRESULT unserved(std::string_view call) {
  called(call);
  state().misuses.push_back(std::string(call) + ", which the plug-in has no use for");
  return E_NOTIMPL;
}

template <class Value> HRESULT answer(Value value, Value *out) {
  if (!out) return E_POINTER;
  *out = value;
  return S_OK;
}

class Timeline final : public Inspectable<TimelineProperties> {
  sim::MediaSession s_ = *state().current;

public:
  HRESULT STDMETHODCALLTYPE get_StartTime(Ticks *v) override { return answer(s_.startTime, v); }
  HRESULT STDMETHODCALLTYPE get_EndTime(Ticks *v) override { return answer(s_.endTime, v); }
  HRESULT STDMETHODCALLTYPE get_MinSeekTime(Ticks *v) override { return answer(s_.startTime, v); }
  HRESULT STDMETHODCALLTYPE get_MaxSeekTime(Ticks *v) override { return answer(s_.endTime, v); }
  HRESULT STDMETHODCALLTYPE get_Position(Ticks *v) override {
    called("Position");
    return answer(s_.position, v);
  }
};

class Controls final : public Inspectable<PlaybackControls> {
  Boolean position_ = state().current->positionEnabled;
  static HRESULT enabled(Boolean *v) { return answer(Boolean{1}, v); }

public:
  HRESULT STDMETHODCALLTYPE get_IsPlayEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsPauseEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsStopEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsRecordEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsFastForwardEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsRewindEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsNextEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsPreviousEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsChannelUpEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsChannelDownEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlayPauseToggleEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsShuffleEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsRepeatEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlaybackRateEnabled(Boolean *v) override { return enabled(v); }
  HRESULT STDMETHODCALLTYPE get_IsPlaybackPositionEnabled(Boolean *v) override {
    called("IsPlaybackPositionEnabled");
    return answer(position_, v);
  }
};

class Playback final : public Inspectable<PlaybackInfo> {
public:
  HRESULT STDMETHODCALLTYPE get_Controls(PlaybackControls **out) override {
    return handOut<Controls>(out);
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackStatus(std::int32_t *v) override {
    called("PlaybackStatus");
    return answer(state().current->status, v);
  }
};

class Properties final : public Inspectable<MediaProperties> {
  sim::MediaSession s_ = *state().current;

public:
  HRESULT STDMETHODCALLTYPE get_Title(HSTRING *out) override { return giveString(s_.title, out); }
  HRESULT STDMETHODCALLTYPE get_Subtitle(HSTRING *out) override { return giveString({}, out); }
  HRESULT STDMETHODCALLTYPE get_AlbumArtist(HSTRING *out) override { return giveString({}, out); }
  HRESULT STDMETHODCALLTYPE get_Artist(HSTRING *out) override { return giveString(s_.artist, out); }
};

class CurrentSession final : public Inspectable<Session> {
public:
  HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING *out) override {
    called("SourceAppUserModelId");
    return giveString(state().current->appId, out);
  }
  HRESULT STDMETHODCALLTYPE
  TryGetMediaPropertiesAsync(AsyncOperation<MediaProperties *> **out) override {
    called("TryGetMediaPropertiesAsync");
    return handOut<Operation<MediaProperties *>>(out, new Properties);
  }
  HRESULT STDMETHODCALLTYPE GetTimelineProperties(TimelineProperties **out) override {
    called("GetTimelineProperties");
    return handOut<Timeline>(out);
  }
  HRESULT STDMETHODCALLTYPE GetPlaybackInfo(PlaybackInfo **out) override {
    called("GetPlaybackInfo");
    return handOut<Playback>(out);
  }
  HRESULT STDMETHODCALLTYPE TryPlayAsync(Pressed **) override { return unserved("TryPlayAsync"); }
  HRESULT STDMETHODCALLTYPE TryPauseAsync(Pressed **) override { return unserved("TryPauseAsync"); }
  HRESULT STDMETHODCALLTYPE TryStopAsync(Pressed **) override { return unserved("TryStopAsync"); }
  HRESULT STDMETHODCALLTYPE TryRecordAsync(Pressed **) override {
    return unserved("TryRecordAsync");
  }
  HRESULT STDMETHODCALLTYPE TryFastForwardAsync(Pressed **) override {
    return unserved("TryFastForwardAsync");
  }
  HRESULT STDMETHODCALLTYPE TryRewindAsync(Pressed **) override {
    return unserved("TryRewindAsync");
  }
  HRESULT STDMETHODCALLTYPE TrySkipNextAsync(Pressed **out) override {
    return press("TrySkipNextAsync", out);
  }
  HRESULT STDMETHODCALLTYPE TrySkipPreviousAsync(Pressed **out) override {
    return press("TrySkipPreviousAsync", out);
  }
  HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(Pressed **) override {
    return unserved("TryChangeChannelUpAsync");
  }
  HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(Pressed **) override {
    return unserved("TryChangeChannelDownAsync");
  }
  HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(Pressed **out) override {
    return press("TryTogglePlayPauseAsync", out, [](sim::MediaSession &s) {
      s.status = s.status == sim::sessionPlaying ? sim::sessionPaused : sim::sessionPlaying;
    });
  }
  HRESULT STDMETHODCALLTYPE TryChangeAutoRepeatModeAsync(std::int32_t, Pressed **) override {
    return unserved("TryChangeAutoRepeatModeAsync");
  }
  HRESULT STDMETHODCALLTYPE TryChangePlaybackRateAsync(double, Pressed **) override {
    return unserved("TryChangePlaybackRateAsync");
  }
  HRESULT STDMETHODCALLTYPE TryChangeShuffleActiveAsync(Boolean, Pressed **) override {
    return unserved("TryChangeShuffleActiveAsync");
  }
  HRESULT STDMETHODCALLTYPE TryChangePlaybackPositionAsync(Ticks position, Pressed **out) override {
    state().positionsAsked.push_back(position);
    // As a player whose controls refuse it: the operation answers false.
    if (!state().current->positionEnabled) {
      called("TryChangePlaybackPositionAsync");
      return handOut<Operation<Boolean>>(out, Boolean{0});
    }
    return press("TryChangePlaybackPositionAsync", out,
                 [position](sim::MediaSession &s) { s.position = position; });
  }
};

class SessionManager final : public Inspectable<Manager> {
public:
  HRESULT STDMETHODCALLTYPE GetCurrentSession(Session **out) override {
    called("GetCurrentSession");
    if (!out) return E_POINTER;
    *out = state().current ? new CurrentSession : nullptr;
    return S_OK;
  }
};

class Statics final : public Inspectable<ManagerStatics> {
protected:
  HRESULT queryOther(REFIID iid, void **out) override {
    return iid == iidManagerStatics ? give(this, out) : E_NOINTERFACE;
  }

public:
  HRESULT STDMETHODCALLTYPE RequestAsync(AsyncOperation<Manager *> **out) override {
    called("RequestAsync");
    return handOut<Operation<Manager *>>(out, new SessionManager);
  }
};

bool known(HSTRING string) {
  return !string || combase().strings.count(string);
}

} // namespace

namespace sim {

HRESULT windowsCreateString(const WCHAR *text, UINT32 length, HSTRING *string) {
  if (!string) return E_INVALIDARG;
  if (!text && length) return E_POINTER;
  return giveString(std::wstring(text ? text : L"", length), string);
}

HRESULT windowsDeleteString(HSTRING string) {
  if (!known(string)) {
    state().misuses.push_back("WindowsDeleteString of a string that is not there");
    return S_OK;
  }
  combase().strings.erase(string);
  delete string;
  return S_OK;
}

const WCHAR *windowsGetStringRawBuffer(HSTRING string, UINT32 *length) {
  if (!known(string)) state().misuses.push_back("the text of a string that is not there");
  if (length) *length = string ? static_cast<UINT32>(string->text.size()) : 0;
  return string ? string->text.c_str() : L"";
}

HRESULT roGetActivationFactory(HSTRING name, REFIID iid, void **factory) {
  called("RoGetActivationFactory");
  if (!factory) return E_POINTER;
  *factory = nullptr;
  if (!name || std::wstring_view(name->text) != managerClass || !state().registered)
    return REGDB_E_CLASSNOTREG;
  if (!(iid == iidManagerStatics)) return E_NOINTERFACE;
  *factory = static_cast<ManagerStatics *>(new Statics);
  return S_OK;
}

Sessions &sessions() {
  return state();
}
void installSessionManager() {
  state().combase = true;
  state().registered = true;
}
HMODULE libraryNamed(const std::string &name) {
  return (name == "combase.dll" || name == "combase") && state().combase ? &combaseModule : nullptr;
}
FARPROC combaseProcedure(HMODULE module, LPCSTR name) {
  if (module != &combaseModule || reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF) return nullptr;
  std::string_view n(name);
  auto procedure = [](auto *function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
  };
  if (n == "RoGetActivationFactory") return procedure(&roGetActivationFactory);
  if (n == "WindowsCreateString") return procedure(&windowsCreateString);
  if (n == "WindowsDeleteString") return procedure(&windowsDeleteString);
  if (n == "WindowsGetStringRawBuffer") return procedure(&windowsGetStringRawBuffer);
  return nullptr;
}
int liveSessionObjects() {
  return combase().objects;
}
int liveStrings() {
  return static_cast<int>(combase().strings.size());
}
void resetSessions() {
  for (SimString *s : combase().strings) delete s;
  combase() = Combase{};
}

} // namespace sim
