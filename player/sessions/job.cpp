#include "player/sessions/job.h"

#include "host/codepage.h"
#include "host/compointer.h"
#include "player/send.h"
#include "player/sessions/api.h"
#include "player/sessions/name.h"
#include "player/sessions/position.h"
#include "player/sessions/worker.h"

#include <utility>

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

bool sessionManager(const Combase &combase, ComPointer<Manager> &manager) {
  String name(combase);
  if (FAILED(combase.createString(managerClass.data(), static_cast<UINT32>(managerClass.size()),
                                  &name.string)))
    return false;
  ComPointer<ManagerStatics> statics;
  if (!statics.took(combase.getFactory(name.string, iidManagerStatics, statics.outVoid())))
    return false;
  ComPointer<AsyncOperation<Manager *>> request;
  if (!request.took(statics->RequestAsync(request.out()))) return false;
  return resultOf(request.pointer, manager.out()) && manager.pointer;
}

std::int32_t playbackStatus(Session &session) {
  ComPointer<PlaybackInfo> info;
  std::int32_t status = -1;
  if (!info.took(session.GetPlaybackInfo(info.out())) || FAILED(info->get_PlaybackStatus(&status)))
    return -1;
  return status;
}

bool plays(Session &session) {
  return playbackStatus(session) == statusPlaying;
}

// The first of all sessions that plays. A session whose program has gone answers with errors,
// and counts as none.
bool firstPlaying(Manager &manager, ComPointer<Session> &session) {
  ComPointer<SessionList> list;
  UINT32 size = 0;
  if (!list.took(manager.GetSessions(list.out())) || FAILED(list->get_Size(&size))) return false;
  for (UINT32 i = 0; i < size && !workerStopping(); ++i) {
    ComPointer<Session> candidate;
    if (!candidate.took(list->GetAt(i, candidate.out()))) return false;
    if (plays(*candidate.pointer)) {
      std::swap(session.pointer, candidate.pointer);
      return true;
    }
  }
  return false;
}

// The current session may be a paused one while another plays: a press and a line are for the
// one the user hears.
bool sessionToUse(const Combase &combase, ComPointer<Session> &session) {
  ComPointer<Manager> manager;
  if (!sessionManager(combase, manager)) return false;
  ComPointer<Session> current;
  bool hasCurrent = current.took(manager->GetCurrentSession(current.out()));
  if (!(hasCurrent && plays(*current.pointer)) && firstPlaying(*manager.pointer, session))
    return true;
  std::swap(session.pointer, current.pointer);
  return hasCurrent;
}

bool press(Session &session, HRESULT (STDMETHODCALLTYPE Session::*method)(Pressed **)) {
  ComPointer<Pressed> operation;
  Boolean taken = 0;
  return operation.took((session.*method)(operation.out())) &&
         resultOf(operation.pointer, &taken) && taken;
}

// The rate the player tells, 1 where it tells none.
double playbackRate(Session &session) {
  ComPointer<PlaybackInfo> info;
  ComPointer<DoubleReference> rate;
  double value = 1.0;
  if (info.took(session.GetPlaybackInfo(info.out())) &&
      rate.took(info->get_PlaybackRate(rate.out())) && FAILED(rate->get_Value(&value)))
    value = 1.0;
  return value;
}

DateTime now() {
  FILETIME time{};
  GetSystemTimeAsFileTime(&time);
  return static_cast<DateTime>(std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime);
}

bool positionEnabled(Session &session) {
  ComPointer<PlaybackInfo> info;
  ComPointer<PlaybackControls> controls;
  Boolean enabled = 0;
  return info.took(session.GetPlaybackInfo(info.out())) &&
         controls.took(info->get_Controls(controls.out())) &&
         SUCCEEDED(controls->get_IsPlaybackPositionEnabled(&enabled)) && enabled;
}

// The seek range and the stamp are left at 0, "none", where the player gives none.
bool timeline(Session &session, SessionTimeline &t) {
  ComPointer<TimelineProperties> properties;
  if (!properties.took(session.GetTimelineProperties(properties.out())) ||
      FAILED(properties->get_StartTime(&t.start)) || FAILED(properties->get_EndTime(&t.end)) ||
      FAILED(properties->get_Position(&t.position)))
    return false;
  if (FAILED(properties->get_MinSeekTime(&t.minSeek)) ||
      FAILED(properties->get_MaxSeekTime(&t.maxSeek)))
    t.minSeek = t.maxSeek = 0;
  if (FAILED(properties->get_LastUpdatedTime(&t.stamp))) t.stamp = 0;
  return true;
}

// The position now: a player may have stamped it long ago.
Ticks livePositionOf(Session &session, const SessionTimeline &t) {
  return livePosition(t, answers.status == statusPlaying, now(), playbackRate(session));
}

void skip(Session &session, Ticks by) {
  SessionTimeline t;
  if (!positionEnabled(session) || !timeline(session, t)) return;
  ComPointer<Pressed> operation;
  Boolean taken = 0;
  if (operation.took(session.TryChangePlaybackPositionAsync(
          skippedTicks(t, livePositionOf(session, t), by), operation.out())))
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
    answers.program = ansiFromUtf16(displayName(std::basic_string<WCHAR>(appId.text())));
  readProperties(combase, session);
  SessionTimeline t;
  if (!timeline(session, t)) return;
  Ticks position = livePositionOf(session, t);
  answers.positionTicks = position < t.start ? -1 : saturatedDifference(position, t.start);
  answers.lengthTicks = saturatedDifference(t.end, t.start);
}

void act(const Combase &combase, Session &session, SessionAction action) {
  switch (action) {
  case SessionAction::find:
    return;
  case SessionAction::togglePlay:
    answers.pressTaken = press(session, &Session::TryTogglePlayPauseAsync);
    return;
  case SessionAction::previousTrack:
    press(session, &Session::TrySkipPreviousAsync);
    return;
  case SessionAction::nextTrack:
    press(session, &Session::TrySkipNextAsync);
    return;
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
  // Finalise may have come while a call blocked: the messenger is gone, and so is the press.
  if (!combase.usable() || !sessionToUse(combase, session) || workerStopping()) return;
  found = true;
  answers.status = playbackStatus(*session.pointer);
  act(combase, *session.pointer, static_cast<SessionAction>(what));
}

} // namespace

SessionEnd onSession(SessionAction action, SessionAnswers &out) {
  if (!runOnWorker(visit, static_cast<int>(action), playerTimeoutMs)) return SessionEnd::gaveUp;
  if (!found) return SessionEnd::none;
  out = answers;
  return SessionEnd::done;
}
