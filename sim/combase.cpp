// combase of the simulated Win32: HSTRINGs, RoGetActivationFactory and the media sessions'
// objects, each counted from its hand-out to its last Release.
#include "machine.h"

#include "winrtobjects.h"

#include <set>

struct SimString {
  std::wstring text;
};

namespace {

using namespace sessionapi;
using winrt::answer;
using winrt::handOut;
using winrt::Inspectable;
using winrt::Operation;

struct Combase {
  sim::Sessions sessions;
  std::set<SimString *> strings;
};
Combase &combase() {
  static Combase c;
  return c;
}
sim::Sessions &state() {
  return combase().sessions;
}

SimInstance combaseModule;
SimInstance shell32Module;

// The session of a slot: -1 the current one, else one of the others.
sim::MediaSession &media(int slot) {
  return slot < 0 ? *state().current : state().others.at(static_cast<std::size_t>(slot));
}

// Notes a call; one without COM or on the messenger's thread is a misuse.
void called(std::string_view call) {
  sim::Sessions &s = state();
  s.calls.push_back(call);
  if (sim::coreAudio().apartment == sim::Apartment::none)
    s.misuses.push_back(std::string(call) + " without COM");
  if (!sim::onOtherThread()) s.misuses.push_back(std::string(call) + " on the messenger's thread");
  if (call == s.blockingCall) Sleep(s.blockMs);
}

HRESULT giveString(const std::wstring &text, HSTRING *out) {
  if (!out) return E_POINTER;
  // As WinRT: the empty string is the null HSTRING.
  *out = text.empty() ? nullptr : new SimString{text};
  if (*out) combase().strings.insert(*out);
  return S_OK;
}

// When an operation started, and whether it was cancelled; its status follows the sessions'
// ending.
struct SimProgress final : winrt::Progress {
  std::uint64_t startedAt = sim::clockMs();
  bool cancelled = false;
  std::int32_t status() const override {
    switch (state().ending) {
    case sim::AsyncEnd::atOnce:
      return asyncCompleted;
    case sim::AsyncEnd::late:
      return sim::clockMs() >= startedAt + state().lateMs ? asyncCompleted : asyncStarted;
    case sim::AsyncEnd::never:
      return cancelled ? winrt::asyncCanceled : asyncStarted;
    case sim::AsyncEnd::fails:
      break;
    }
    return winrt::asyncError;
  }
  void cancel() override {
    called("Cancel");
    cancelled = true;
  }
};

template <class Result, class Interface> HRESULT operation(Result result, Interface **out) {
  return handOut<Operation<Result>>(out, std::make_shared<SimProgress>(), result);
}

// A press that the session takes unless its operations never end or fail.
template <class Change>
HRESULT press(std::string_view call, int slot, Pressed **out, Change change) {
  called(call);
  bool takes = state().ending == sim::AsyncEnd::atOnce || state().ending == sim::AsyncEnd::late;
  if (takes) change(media(slot));
  return operation(Boolean{takes}, out);
}
HRESULT press(std::string_view call, int slot, Pressed **out) {
  return press(call, slot, out, [](sim::MediaSession &) {});
}

HRESULT unserved(std::string_view call) {
  called(call);
  state().misuses.push_back(std::string(call) + ", which the plug-in has no use for");
  return E_NOTIMPL;
}

class Timeline final : public Inspectable<TimelineProperties> {
  sim::MediaSession s_;

public:
  explicit Timeline(int slot) : s_(media(slot)) {}
  HRESULT STDMETHODCALLTYPE get_StartTime(Ticks *v) override { return answer(s_.startTime, v); }
  HRESULT STDMETHODCALLTYPE get_EndTime(Ticks *v) override { return answer(s_.endTime, v); }
  HRESULT STDMETHODCALLTYPE get_MinSeekTime(Ticks *v) override { return answer(s_.minSeek, v); }
  HRESULT STDMETHODCALLTYPE get_MaxSeekTime(Ticks *v) override { return answer(s_.maxSeek, v); }
  HRESULT STDMETHODCALLTYPE get_Position(Ticks *v) override {
    called("Position");
    return answer(s_.position, v);
  }
  HRESULT STDMETHODCALLTYPE get_LastUpdatedTime(DateTime *v) override {
    return answer(s_.stampAge ? sim::fileTimeNow() - *s_.stampAge : 0, v);
  }
};

class Rate final : public Inspectable<DoubleReference> {
  double rate_;

public:
  explicit Rate(double rate) : rate_(rate) {}
  HRESULT STDMETHODCALLTYPE get_Value(double *v) override { return answer(rate_, v); }
};

class Playback final : public Inspectable<PlaybackInfo> {
  int slot_;

public:
  explicit Playback(int slot) : slot_(slot) {}
  HRESULT STDMETHODCALLTYPE get_Controls(PlaybackControls **out) override {
    return handOut<winrt::Controls>(out, media(slot_).positionEnabled);
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackStatus(std::int32_t *v) override {
    called("PlaybackStatus");
    return answer(media(slot_).status, v);
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackType(IInspectable **) override {
    return unserved("PlaybackType");
  }
  HRESULT STDMETHODCALLTYPE get_AutoRepeatMode(IInspectable **) override {
    return unserved("AutoRepeatMode");
  }
  HRESULT STDMETHODCALLTYPE get_PlaybackRate(DoubleReference **out) override {
    std::optional<double> rate = media(slot_).rate;
    return rate ? handOut<Rate>(out, *rate) : answer<DoubleReference *>(nullptr, out);
  }
};

class Properties final : public Inspectable<MediaProperties> {
  sim::MediaSession s_;

public:
  explicit Properties(int slot) : s_(media(slot)) {}
  HRESULT STDMETHODCALLTYPE get_Title(HSTRING *out) override { return giveString(s_.title, out); }
  HRESULT STDMETHODCALLTYPE get_Subtitle(HSTRING *out) override { return giveString({}, out); }
  HRESULT STDMETHODCALLTYPE get_AlbumArtist(HSTRING *out) override { return giveString({}, out); }
  HRESULT STDMETHODCALLTYPE get_Artist(HSTRING *out) override { return giveString(s_.artist, out); }
};

class SimSession final : public Inspectable<Session> {
  int slot_;

public:
  explicit SimSession(int slot) : slot_(slot) {}
  HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING *out) override {
    called("SourceAppUserModelId");
    return giveString(media(slot_).appId, out);
  }
  HRESULT STDMETHODCALLTYPE
  TryGetMediaPropertiesAsync(AsyncOperation<MediaProperties *> **out) override {
    called("TryGetMediaPropertiesAsync");
    return operation<MediaProperties *>(new Properties(slot_), out);
  }
  HRESULT STDMETHODCALLTYPE GetTimelineProperties(TimelineProperties **out) override {
    called("GetTimelineProperties");
    return handOut<Timeline>(out, slot_);
  }
  HRESULT STDMETHODCALLTYPE GetPlaybackInfo(PlaybackInfo **out) override {
    called("GetPlaybackInfo");
    return handOut<Playback>(out, slot_);
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
    return press("TrySkipNextAsync", slot_, out);
  }
  HRESULT STDMETHODCALLTYPE TrySkipPreviousAsync(Pressed **out) override {
    return press("TrySkipPreviousAsync", slot_, out);
  }
  HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(Pressed **) override {
    return unserved("TryChangeChannelUpAsync");
  }
  HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(Pressed **) override {
    return unserved("TryChangeChannelDownAsync");
  }
  HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(Pressed **out) override {
    return press("TryTogglePlayPauseAsync", slot_, out, [](sim::MediaSession &s) {
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
    if (!media(slot_).positionEnabled) {
      called("TryChangePlaybackPositionAsync");
      return operation(Boolean{0}, out);
    }
    return press("TryChangePlaybackPositionAsync", slot_, out,
                 [position](sim::MediaSession &s) { s.position = position; });
  }
};

// The current session first, as the slots count them, then the others.
class SessionVector final : public Inspectable<SessionList> {
  int first_ = state().current ? -1 : 0;
  UINT32 size_ = static_cast<UINT32>(state().others.size()) + (state().current ? 1 : 0);

public:
  HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, Session **out) override {
    if (index >= size_) return E_BOUNDS;
    return handOut<SimSession>(out, first_ + static_cast<int>(index));
  }
  HRESULT STDMETHODCALLTYPE get_Size(UINT32 *v) override { return answer(size_, v); }
};

class SessionManager final : public Inspectable<Manager> {
public:
  HRESULT STDMETHODCALLTYPE GetCurrentSession(Session **out) override {
    called("GetCurrentSession");
    if (!out) return E_POINTER;
    *out = state().current ? new SimSession(-1) : nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetSessions(SessionList **out) override {
    called("GetSessions");
    return handOut<SessionVector>(out);
  }
};

// The Apps folder's item for an app id, which gives Windows' name for it.
class AppItem final : public winrt::Unknown<ShellItem> {
  std::wstring name_;

public:
  explicit AppItem(std::wstring name) : name_(std::move(name)) {}
  HRESULT STDMETHODCALLTYPE BindToHandler(void *, REFGUID, REFIID, void **) override {
    return unserved("BindToHandler");
  }
  HRESULT STDMETHODCALLTYPE GetParent(ShellItem **) override { return unserved("GetParent"); }
  HRESULT STDMETHODCALLTYPE GetDisplayName(std::int32_t form, LPWSTR *out) override {
    called("GetDisplayName");
    if (form != normalDisplayName || !out) return E_INVALIDARG;
    *out = static_cast<LPWSTR>(std::malloc(sizeof(WCHAR) * (name_.size() + 1)));
    std::copy(name_.c_str(), name_.c_str() + name_.size() + 1, *out);
    return S_OK;
  }
};

class Statics final : public Inspectable<ManagerStatics> {
protected:
  GUID ownIid() const override { return iidManagerStatics; }

public:
  HRESULT STDMETHODCALLTYPE RequestAsync(AsyncOperation<Manager *> **out) override {
    called("RequestAsync");
    return operation<Manager *>(new SessionManager, out);
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
  if (name == "shell32.dll") return &shell32Module;
  return (name == "combase.dll" || name == "combase") && state().combase ? &combaseModule : nullptr;
}

// Windows 8 and later, as combase: the Apps folder knows the app ids it has names for.
HRESULT shCreateItemInKnownFolder(const GUID &folder, DWORD flags, LPCWSTR item, REFIID iid,
                                  void **out) {
  called("SHCreateItemInKnownFolder");
  if (!out || !item || !(iid == iidShellItem)) return E_INVALIDARG;
  *out = nullptr;
  auto name = state().appNames.find(item);
  if (!(folder == appsFolder) || flags != knownFolderDontVerify || name == state().appNames.end())
    return E_INVALIDARG;
  *out = static_cast<ShellItem *>(new AppItem(name->second));
  return S_OK;
}
FARPROC combaseProcedure(HMODULE module, LPCSTR name) {
  if (reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF) return nullptr;
  std::string_view n(name);
  auto procedure = [](auto *function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
  };
  if (module == &shell32Module && n == "SHCreateItemInKnownFolder" && state().combase)
    return procedure(&shCreateItemInKnownFolder);
  if (module != &combaseModule) return nullptr;
  if (n == "RoGetActivationFactory") return procedure(&roGetActivationFactory);
  if (n == "WindowsCreateString") return procedure(&windowsCreateString);
  if (n == "WindowsDeleteString") return procedure(&windowsDeleteString);
  if (n == "WindowsGetStringRawBuffer") return procedure(&windowsGetStringRawBuffer);
  return nullptr;
}
int liveSessionObjects() {
  return static_cast<int>(winrt::liveObjects());
}
int liveStrings() {
  return static_cast<int>(combase().strings.size());
}
void resetSessions() {
  for (SimString *s : combase().strings) delete s;
  combase() = Combase{};
  winrt::liveObjects() = 0;
}

} // namespace sim
