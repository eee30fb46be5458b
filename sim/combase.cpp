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
template <class Change> HRESULT press(std::string_view call, Pressed **out, Change change) {
  called(call);
  bool takes = state().ending == sim::AsyncEnd::atOnce || state().ending == sim::AsyncEnd::late;
  if (takes && state().current) change(*state().current);
  return operation(Boolean{takes}, out);
}
HRESULT press(std::string_view call, Pressed **out) {
  return press(call, out, [](sim::MediaSession &) {});
}

HRESULT unserved(std::string_view call) {
  called(call);
  state().misuses.push_back(std::string(call) + ", which the plug-in has no use for");
  return E_NOTIMPL;
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

class Playback final : public Inspectable<PlaybackInfo> {
public:
  HRESULT STDMETHODCALLTYPE get_Controls(PlaybackControls **out) override {
    return handOut<winrt::Controls>(out, state().current->positionEnabled);
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
    return operation<MediaProperties *>(new Properties, out);
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
      return operation(Boolean{0}, out);
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
