// The media sessions' objects as the guest sees them: where they and their texts lie, and the
// methods of each interface.
#include "tests/emulator/sessionobjects.h"

#include <unicorn/unicorn.h>

#include <cstring>

namespace emu::sessions {

constexpr const char *names[] = {"SessionManagerStatics",
                                 "SessionManager",
                                 "Session",
                                 "MediaProperties",
                                 "PlaybackInfo",
                                 "PlaybackControls",
                                 "TimelineProperties",
                                 "IAsyncOperation<SessionManager>",
                                 "IAsyncOperation<MediaProperties>",
                                 "IAsyncOperation<boolean>",
                                 "IVectorView<Session>",
                                 "IReference<double>",
                                 "IShellItem",
                                 "IAsyncInfo"};

const char *nameOf(SessionKind k) {
  return names[static_cast<int>(k)];
}

SessionObjects &sessionObjects() {
  static SessionObjects s;
  return s;
}

Addr takeSessionArea(Addr size) {
  Addr at = sessionObjects().next;
  sessionObjects().next += (size + 15) / 16 * 16;
  if (sessionObjects().next > sessionArea + sessionAreaSize)
    throw Fault("the media sessions' area is full");
  return at;
}

// The guest object for a host interface; a host address used again by a new object of another
// interface gets a guest object of its own.
Addr guestObject(IUnknown *host, SessionKind kind) {
  if (!host) return 0;
  SessionObjects &s = sessionObjects();
  if (auto known = s.addresses.find(host); known != s.addresses.end())
    if (s.objects.at(known->second).kind == kind) return known->second;
  Addr object = takeSessionArea(4);
  write32(object, s.vtables.at(kind));
  s.objects[object] = {host, kind};
  s.addresses[host] = object;
  return object;
}

// An HSTRING for the guest: its text, NUL-terminated, in the sessions' area.
Addr guestString(HSTRING host) {
  if (!host) return 0;
  UINT32 length = 0;
  const WCHAR *text = sim::windowsGetStringRawBuffer(host, &length);
  Addr at = takeSessionArea(2 * (length + 1));
  win32::writeWide(at, std::wstring(text, length) + L'\0');
  sessionObjects().strings[at] = host;
  return at;
}

HSTRING hostString(Addr guest) {
  if (!guest) return nullptr;
  auto s = sessionObjects().strings.find(guest);
  if (s == sessionObjects().strings.end())
    throw Fault("an HSTRING was given that combase never handed out: " + std::to_string(guest));
  return s->second;
}

// --- the out-parameters, written as the guest's types are wide
void put(Addr p, HSTRING value) {
  write32(p, guestString(value));
}
void put(Addr p, std::int32_t value) {
  write32(p, static_cast<std::uint32_t>(value));
}
void put(Addr p, UINT32 value) {
  write32(p, value);
}
void put(Addr p, double value) {
  write(p, std::string(reinterpret_cast<const char *>(&value), sizeof value));
}
void put(Addr p, Boolean value) {
  write(p, std::string(1, static_cast<char>(value)));
}
void put(Addr p, Ticks value) {
  write32(p, static_cast<std::uint32_t>(value));
  write32(p + 4, static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
}
std::uint32_t changePosition(const Call &c) {
  Session *session = self<Session>(c, SessionKind::session);
  auto ticks = static_cast<Ticks>(static_cast<std::uint64_t>(c.arg(2)) << 32 | c.arg(1));
  Pressed *operation = nullptr;
  HRESULT r = session->TryChangePlaybackPositionAsync(ticks, c.arg(3) ? &operation : nullptr);
  if (c.arg(3)) put(c.arg(3), operation);
  return hresult(r);
}

std::uint32_t sessionAt(const Call &c) {
  Session *session = nullptr;
  HRESULT r = self<SessionList>(c, SessionKind::sessionList)
                  ->GetAt(c.arg(1), c.arg(2) ? &session : nullptr);
  if (c.arg(2)) put(c.arg(2), session);
  return hresult(r);
}

// The shell's text, copied for the guest and freed on the host at once; the guest frees its
// copy with CoTaskMemFree.
std::uint32_t displayName(const Call &c) {
  LPWSTR name = nullptr;
  HRESULT r = self<ShellItem>(c, SessionKind::shellItem)
                  ->GetDisplayName(static_cast<std::int32_t>(c.arg(1)), c.arg(2) ? &name : nullptr);
  if (!c.arg(2)) return hresult(r);
  Addr text = 0;
  if (name) {
    std::wstring copy = std::wstring(name) + L'\0';
    text = takeSessionArea(2 * static_cast<Addr>(copy.size()));
    win32::writeWide(text, copy);
    sessionObjects().taskMemory.insert(text);
    CoTaskMemFree(name);
  }
  write32(c.arg(2), text);
  return hresult(r);
}

std::uint32_t cancel(const Call &c) {
  return hresult(self<AsyncInfo>(c, SessionKind::asyncInfo)->Cancel());
}

std::vector<Method> sessionMethods() {
  constexpr SessionKind s = SessionKind::session;
  return inspectable<s>({
      {"SourceAppUserModelId", 2, getter<Session, HSTRING, &Session::get_SourceAppUserModelId>},
      {"TryGetMediaPropertiesAsync", 2,
       getter<Session, AsyncOperation<MediaProperties *> *, &Session::TryGetMediaPropertiesAsync>},
      {"GetTimelineProperties", 2,
       getter<Session, TimelineProperties *, &Session::GetTimelineProperties>},
      {"GetPlaybackInfo", 2, getter<Session, PlaybackInfo *, &Session::GetPlaybackInfo>},
      none<s>("TryPlayAsync"),
      none<s>("TryPauseAsync"),
      none<s>("TryStopAsync"),
      none<s>("TryRecordAsync"),
      none<s>("TryFastForwardAsync"),
      none<s>("TryRewindAsync"),
      {"TrySkipNextAsync", 2, getter<Session, Pressed *, &Session::TrySkipNextAsync>},
      {"TrySkipPreviousAsync", 2, getter<Session, Pressed *, &Session::TrySkipPreviousAsync>},
      none<s>("TryChangeChannelUpAsync"),
      none<s>("TryChangeChannelDownAsync"),
      {"TryTogglePlayPauseAsync", 2, getter<Session, Pressed *, &Session::TryTogglePlayPauseAsync>},
      none<s>("TryChangeAutoRepeatModeAsync", 3),
      none<s>("TryChangePlaybackRateAsync", 4),
      none<s>("TryChangeShuffleActiveAsync", 3),
      {"TryChangePlaybackPositionAsync", 4, changePosition},
  });
}

// Only whether the position may move is asked.
std::vector<Method> controlsMethods() {
  using C = PlaybackControls;
  constexpr SessionKind k = SessionKind::controls;
  std::vector<Method> own;
  for (const char *name :
       {"IsPlayEnabled", "IsPauseEnabled", "IsStopEnabled", "IsRecordEnabled",
        "IsFastForwardEnabled", "IsRewindEnabled", "IsNextEnabled", "IsPreviousEnabled",
        "IsChannelUpEnabled", "IsChannelDownEnabled", "IsPlayPauseToggleEnabled",
        "IsShuffleEnabled", "IsRepeatEnabled", "IsPlaybackRateEnabled"})
    own.push_back(none<k>(name));
  own.push_back(
      {"IsPlaybackPositionEnabled", 2, getter<C, Boolean, &C::get_IsPlaybackPositionEnabled>});
  return inspectable<k>(own);
}

template <class Result, SessionKind K> std::vector<Method> operationMethods() {
  using O = AsyncOperation<Result>;
  return inspectable<K>({none<K>("put_Completed"),
                         none<K>("get_Completed"),
                         {"GetResults", 2, getter<O, Result, &O::GetResults>}});
}

std::vector<Method> methodsOf(SessionKind k) {
  using T = TimelineProperties;
  using P = MediaProperties;
  switch (k) {
  case SessionKind::statics:
    return inspectable<SessionKind::statics>(
        {{"RequestAsync", 2,
          getter<ManagerStatics, AsyncOperation<Manager *> *, &ManagerStatics::RequestAsync>}});
  case SessionKind::manager:
    return inspectable<SessionKind::manager>(
        {{"GetCurrentSession", 2, getter<Manager, Session *, &Manager::GetCurrentSession>},
         {"GetSessions", 2, getter<Manager, SessionList *, &Manager::GetSessions>}});
  case SessionKind::session:
    return sessionMethods();
  case SessionKind::properties:
    return inspectable<SessionKind::properties>(
        {{"Title", 2, getter<P, HSTRING, &P::get_Title>},
         none<SessionKind::properties>("Subtitle"),
         none<SessionKind::properties>("AlbumArtist"),
         {"Artist", 2, getter<P, HSTRING, &P::get_Artist>}});
  case SessionKind::playbackInfo:
    return inspectable<SessionKind::playbackInfo>(
        {{"Controls", 2, getter<PlaybackInfo, PlaybackControls *, &PlaybackInfo::get_Controls>},
         {"PlaybackStatus", 2,
          getter<PlaybackInfo, std::int32_t, &PlaybackInfo::get_PlaybackStatus>},
         none<SessionKind::playbackInfo>("PlaybackType"),
         none<SessionKind::playbackInfo>("AutoRepeatMode"),
         {"PlaybackRate", 2,
          getter<PlaybackInfo, DoubleReference *, &PlaybackInfo::get_PlaybackRate>}});
  case SessionKind::controls:
    return controlsMethods();
  case SessionKind::timeline:
    return inspectable<SessionKind::timeline>(
        {{"StartTime", 2, getter<T, Ticks, &T::get_StartTime>},
         {"EndTime", 2, getter<T, Ticks, &T::get_EndTime>},
         {"MinSeekTime", 2, getter<T, Ticks, &T::get_MinSeekTime>},
         {"MaxSeekTime", 2, getter<T, Ticks, &T::get_MaxSeekTime>},
         {"Position", 2, getter<T, Ticks, &T::get_Position>},
         {"LastUpdatedTime", 2, getter<T, DateTime, &T::get_LastUpdatedTime>}});
  case SessionKind::managerOperation:
    return operationMethods<Manager *, SessionKind::managerOperation>();
  case SessionKind::propertiesOperation:
    return operationMethods<MediaProperties *, SessionKind::propertiesOperation>();
  case SessionKind::pressOperation:
    return operationMethods<Boolean, SessionKind::pressOperation>();
  case SessionKind::sessionList:
    return inspectable<SessionKind::sessionList>(
        {{"GetAt", 3, sessionAt},
         {"get_Size", 2, getter<SessionList, UINT32, &SessionList::get_Size>}});
  case SessionKind::rate:
    return inspectable<SessionKind::rate>(
        {{"get_Value", 2, getter<DoubleReference, double, &DoubleReference::get_Value>}});
  case SessionKind::shellItem:
    return unknown<SessionKind::shellItem>({none<SessionKind::shellItem>("BindToHandler", 5),
                                            none<SessionKind::shellItem>("GetParent"),
                                            {"GetDisplayName", 3, displayName}});
  case SessionKind::asyncInfo:
    break;
  }
  return inspectable<SessionKind::asyncInfo>(
      {none<SessionKind::asyncInfo>("get_Id"),
       {"get_Status", 2, getter<AsyncInfo, std::int32_t, &AsyncInfo::get_Status>},
       none<SessionKind::asyncInfo>("get_ErrorCode"),
       {"Cancel", 1, cancel},
       none<SessionKind::asyncInfo>("Close", 1)});
}

} // namespace emu::sessions
