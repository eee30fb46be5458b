#include "player/sessions/job.h"

#include "host/codepage.h"
#include "host/compointer.h"
#include "player/send.h"
#include "player/sessions/api.h"
#include "player/sessions/worker.h"

#include <algorithm>

namespace {

using namespace sessionapi;

constexpr DWORD pollMs = 10;
constexpr Ticks skipTicks = 5 * 10'000'000;

// The worker's findings, read by the messenger's thread only once the worker has ended.
bool found = false;
SessionAnswers answers;

// Null without the module: GetProcAddress of no module would search the messenger's program.
template <class Function> Function procedure(HMODULE module, const char *name) {
  if (!module) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// combase and the functions the visit needs, for one visit.
struct Combase {
  HMODULE module = LoadLibraryA("combase.dll");
  RoGetActivationFactoryFunction getFactory =
      procedure<RoGetActivationFactoryFunction>(module, "RoGetActivationFactory");
  WindowsCreateStringFunction createString =
      procedure<WindowsCreateStringFunction>(module, "WindowsCreateString");
  WindowsDeleteStringFunction deleteString =
      procedure<WindowsDeleteStringFunction>(module, "WindowsDeleteString");
  WindowsGetStringRawBufferFunction rawBuffer =
      procedure<WindowsGetStringRawBufferFunction>(module, "WindowsGetStringRawBuffer");
  Combase() = default;
  ~Combase() {
    if (module) FreeLibrary(module);
  }
  Combase(const Combase &) = delete;
  Combase &operator=(const Combase &) = delete;
  bool usable() const { return getFactory && createString && deleteString && rawBuffer; }
};

// An HSTRING, deleted on every path.
struct String {
  const Combase &combase;
  HSTRING string = nullptr;
  explicit String(const Combase &c) : combase(c) {}
  ~String() {
    if (string) combase.deleteString(string);
  }
  String(const String &) = delete;
  String &operator=(const String &) = delete;
  std::basic_string_view<WCHAR> text() const {
    UINT32 length = 0;
    const WCHAR *buffer = combase.rawBuffer(string, &length);
    return buffer ? std::basic_string_view<WCHAR>(buffer, length) : std::basic_string_view<WCHAR>();
  }
};

// Waits for the operation by its status; an operation that does not end within the bound, or
// while finalise stops the worker, is cancelled.
bool ended(IInspectable *operation) {
  ComPointer<AsyncInfo> info;
  if (!info.took(operation->QueryInterface(iidAsyncInfo, info.outVoid()))) return false;
  for (DWORD waited = 0;; waited += pollMs) {
    std::int32_t status = asyncStarted;
    if (FAILED(info->get_Status(&status))) return false;
    if (status != asyncStarted) return status == asyncCompleted;
    if (waited >= playerTimeoutMs || workerStopping()) {
      info->Cancel();
      return false;
    }
    Sleep(pollMs);
  }
}

template <class Result> bool resultOf(AsyncOperation<Result> *operation, Result *result) {
  return ended(operation) && SUCCEEDED(operation->GetResults(result));
}

bool currentSession(const Combase &combase, ComPointer<Session> &session) {
  String name(combase);
  if (FAILED(combase.createString(managerClass.data(), static_cast<UINT32>(managerClass.size()),
                                  &name.string)))
    return false;
  ComPointer<ManagerStatics> statics;
  if (!statics.took(combase.getFactory(name.string, iidManagerStatics, statics.outVoid())))
    return false;
  ComPointer<AsyncOperation<Manager *>> request;
  if (!request.took(statics->RequestAsync(request.out()))) return false;
  ComPointer<Manager> manager;
  if (!resultOf(request.pointer, manager.out()) || !manager.pointer) return false;
  return session.took(manager->GetCurrentSession(session.out()));
}

void press(Session &session, HRESULT (STDMETHODCALLTYPE Session::*method)(Pressed **)) {
  ComPointer<Pressed> operation;
  Boolean taken = 0;
  if (operation.took((session.*method)(operation.out()))) resultOf(operation.pointer, &taken);
}

std::int32_t playbackStatus(Session &session) {
  ComPointer<PlaybackInfo> info;
  std::int32_t status = -1;
  if (!info.took(session.GetPlaybackInfo(info.out())) || FAILED(info->get_PlaybackStatus(&status)))
    return -1;
  return status;
}

bool positionEnabled(Session &session) {
  ComPointer<PlaybackInfo> info;
  ComPointer<PlaybackControls> controls;
  Boolean enabled = 0;
  return info.took(session.GetPlaybackInfo(info.out())) &&
         controls.took(info->get_Controls(controls.out())) &&
         SUCCEEDED(controls->get_IsPlaybackPositionEnabled(&enabled)) && enabled;
}

struct Timeline {
  Ticks start = 0, end = 0, position = -1;
};

bool timeline(Session &session, Timeline &t) {
  ComPointer<TimelineProperties> properties;
  return properties.took(session.GetTimelineProperties(properties.out())) &&
         SUCCEEDED(properties->get_StartTime(&t.start)) &&
         SUCCEEDED(properties->get_EndTime(&t.end)) &&
         SUCCEEDED(properties->get_Position(&t.position));
}

void skip(Session &session, Ticks by) {
  Timeline t;
  if (!positionEnabled(session) || !timeline(session, t)) return;
  ComPointer<Pressed> operation;
  Boolean taken = 0;
  if (operation.took(session.TryChangePlaybackPositionAsync(
          skippedTicks(t.position, t.start, t.end, by), operation.out())))
    resultOf(operation.pointer, &taken);
}

std::string ansiOf(const String &string) {
  return ansiFromUtf16(string.text());
}

void readProperties(const Combase &combase, Session &session) {
  ComPointer<AsyncOperation<MediaProperties *>> request;
  if (!request.took(session.TryGetMediaPropertiesAsync(request.out()))) return;
  ComPointer<MediaProperties> properties;
  if (!resultOf(request.pointer, properties.out()) || !properties.pointer) return;
  String title(combase), artist(combase);
  if (SUCCEEDED(properties->get_Title(&title.string))) answers.title = ansiOf(title);
  if (SUCCEEDED(properties->get_Artist(&artist.string))) answers.artist = ansiOf(artist);
}

void report(const Combase &combase, Session &session) {
  String appId(combase);
  if (SUCCEEDED(session.get_SourceAppUserModelId(&appId.string)))
    answers.program = ansiFromUtf16(programName(appId.text()));
  readProperties(combase, session);
  Timeline t;
  if (!timeline(session, t)) return;
  answers.positionTicks = t.position < t.start ? -1 : t.position - t.start;
  answers.lengthTicks = t.end - t.start;
}

void act(const Combase &combase, Session &session, SessionAction action) {
  switch (action) {
  case SessionAction::find:
    return;
  case SessionAction::togglePlay:
    press(session, &Session::TryTogglePlayPauseAsync);
    answers.status = playbackStatus(session);
    return;
  case SessionAction::previousTrack:
    return press(session, &Session::TrySkipPreviousAsync);
  case SessionAction::nextTrack:
    return press(session, &Session::TrySkipNextAsync);
  case SessionAction::rewind5Seconds:
    return skip(session, -skipTicks);
  case SessionAction::forward5Seconds:
    return skip(session, skipTicks);
  case SessionAction::report:
    return report(combase, session);
  }
}

void visit(int what) {
  found = false;
  answers = {};
  Combase combase;
  ComPointer<Session> session;
  if (!combase.usable() || !currentSession(combase, session)) return;
  found = true;
  act(combase, *session.pointer, static_cast<SessionAction>(what));
}

} // namespace

SessionEnd onCurrentSession(SessionAction action, SessionAnswers &out) {
  if (!runOnWorker(visit, static_cast<int>(action), playerTimeoutMs)) return SessionEnd::gaveUp;
  if (!found) return SessionEnd::none;
  out = answers;
  return SessionEnd::done;
}

using namespace std::string_view_literals;

std::basic_string<WCHAR> programName(std::basic_string_view<WCHAR> appId) {
  std::size_t cut = appId.find_last_of(L"!\\/"sv);
  if (cut != appId.npos) appId.remove_prefix(cut + 1);
  std::basic_string_view<WCHAR> exe = L".exe"sv;
  if (appId.size() > exe.size()) {
    std::basic_string_view<WCHAR> tail = appId.substr(appId.size() - exe.size());
    if (std::equal(tail.begin(), tail.end(), exe.begin(), [](WCHAR a, WCHAR b) {
          return (a >= L'A' && a <= L'Z' ? a - L'A' + L'a' : a) == b;
        }))
      appId.remove_suffix(exe.size());
  }
  return std::basic_string<WCHAR>(appId.empty() ? L"Player"sv : appId);
}

std::int64_t skippedTicks(std::int64_t position, std::int64_t start, std::int64_t end,
                          std::int64_t by) {
  std::int64_t target = std::max(position + by, start);
  return end > start ? std::min(target, end) : target;
}
