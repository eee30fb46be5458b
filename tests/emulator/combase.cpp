// combase and the media sessions' objects of the simulated Win32, served to the guest as
// com.cpp serves Core Audio's: each object a guest pointer to a vtable of host routines in the
// interface's order, stdcall with the object first. An HSTRING crosses as the guest address of
// its UTF-16 text, which WindowsGetStringRawBuffer gives back. A boolean out-parameter gets one
// byte, a TimeSpan eight.
#include "tests/emulator/bindings.h"

#include "tests/emulator/win32.h"

#include "player/sessions/api.h"

#include <unicorn/unicorn.h>

#include <cstring>
#include <map>
#include <tuple>
#include <type_traits>

namespace emu {

namespace {

using win32::hresult;

using namespace sessionapi;

enum class SessionKind {
  statics,
  manager,
  session,
  properties,
  playbackInfo,
  controls,
  timeline,
  managerOperation,
  propertiesOperation,
  pressOperation,
  asyncInfo
};

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
                                 "IAsyncInfo"};

const char *nameOf(SessionKind k) {
  return names[static_cast<int>(k)];
}

// The host interfaces in the order of their kinds.
using Interfaces = std::tuple<ManagerStatics, Manager, Session, MediaProperties, PlaybackInfo,
                              PlaybackControls, TimelineProperties, AsyncOperation<Manager *>,
                              AsyncOperation<MediaProperties *>, Pressed, AsyncInfo>;

// A host interface's kind; one that has none does not compile.
template <class T, std::size_t at = 0> constexpr SessionKind kindOf() {
  if constexpr (std::is_same_v<T, std::tuple_element_t<at, Interfaces>>)
    return static_cast<SessionKind>(at);
  else
    return kindOf<T, at + 1>();
}

struct SessionObject {
  IUnknown *host;
  SessionKind kind;
};

struct SessionObjects {
  std::map<SessionKind, Addr> vtables;
  std::map<Addr, SessionObject> objects;
  std::map<const IUnknown *, Addr> addresses;
  std::map<Addr, HSTRING> strings; // guest text -> host HSTRING
  Addr next = sessionArea;
};

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

template <class Host> Host *self(const Call &c, SessionKind kind) {
  auto o = sessionObjects().objects.find(c.arg(0));
  if (o == sessionObjects().objects.end())
    throw Fault(std::string("a ") + nameOf(kind) + " method was called on " +
                std::to_string(c.arg(0)) + ", which is no live object of the sessions");
  if (o->second.kind != kind)
    throw Fault(std::string("a ") + nameOf(kind) + " method was called on a " +
                nameOf(o->second.kind));
  return static_cast<Host *>(o->second.host);
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
void put(Addr p, Boolean value) {
  write(p, std::string(1, static_cast<char>(value)));
}
void put(Addr p, Ticks value) {
  write32(p, static_cast<std::uint32_t>(value));
  write32(p + 4, static_cast<std::uint32_t>(static_cast<std::uint64_t>(value) >> 32));
}
template <class Interface> void put(Addr p, Interface *value) {
  write32(p, guestObject(value, kindOf<Interface>()));
}

// A method with one out-parameter, served by the host object's own.
template <class Host, class Out, HRESULT (Host::*method)(Out *)>
std::uint32_t getter(const Call &c) {
  Host *host = self<Host>(c, kindOf<Host>());
  Out value{};
  HRESULT r = (host->*method)(c.arg(1) ? &value : nullptr);
  if (c.arg(1) && SUCCEEDED(r)) put(c.arg(1), value);
  return hresult(r);
}

std::uint32_t changePosition(const Call &c) {
  Session *session = self<Session>(c, SessionKind::session);
  auto ticks = static_cast<Ticks>(static_cast<std::uint64_t>(c.arg(2)) << 32 | c.arg(1));
  Pressed *operation = nullptr;
  HRESULT r = session->TryChangePlaybackPositionAsync(ticks, c.arg(3) ? &operation : nullptr);
  if (c.arg(3)) put(c.arg(3), operation);
  return hresult(r);
}

std::uint32_t cancel(const Call &c) {
  return hresult(self<AsyncInfo>(c, SessionKind::asyncInfo)->Cancel());
}

template <SessionKind K> std::uint32_t queryInterface(const Call &c) {
  IUnknown *host = self<IUnknown>(c, K);
  GUID iid{};
  if (!c.arg(1)) throw Fault("QueryInterface was given a null IID");
  std::string bytes = read(c.arg(1), sizeof iid);
  std::memcpy(&iid, bytes.data(), sizeof iid);
  void *object = nullptr;
  HRESULT r = host->QueryInterface(iid, c.arg(2) ? &object : nullptr);
  SessionKind kind = iid == iidAsyncInfo ? SessionKind::asyncInfo : K;
  if (c.arg(2)) write32(c.arg(2), guestObject(static_cast<IUnknown *>(object), kind));
  return hresult(r);
}

template <SessionKind K> std::uint32_t addRef(const Call &c) {
  return self<IUnknown>(c, K)->AddRef();
}

// The last release ends the object: its guest pointer names nothing from then on.
template <SessionKind K> std::uint32_t release(const Call &c) {
  IUnknown *host = self<IUnknown>(c, K);
  ULONG left = host->Release();
  if (!left) {
    sessionObjects().objects.erase(c.arg(0));
    sessionObjects().addresses.erase(host);
  }
  return left;
}

template <SessionKind K> std::uint32_t unserved(const Call &) {
  throw Fault(std::string("the DLL called a ") + nameOf(K) +
              " method that the simulation does not serve");
}

using Method = ComMethod;

template <SessionKind K> std::vector<Method> inspectable(std::vector<Method> own) {
  std::vector<Method> all{{"QueryInterface", 3, queryInterface<K>},
                          {"AddRef", 1, addRef<K>},
                          {"Release", 1, release<K>},
                          {"GetIids", 3, unserved<K>},
                          {"GetRuntimeClassName", 2, unserved<K>},
                          {"GetTrustLevel", 2, unserved<K>}};
  all.insert(all.end(), own.begin(), own.end());
  return all;
}

template <SessionKind K> Method none(const char *name, int argumentCount = 2) {
  return {name, argumentCount, unserved<K>};
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

// The methods in vtable order.
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
        {{"GetCurrentSession", 2, getter<Manager, Session *, &Manager::GetCurrentSession>}});
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
          getter<PlaybackInfo, std::int32_t, &PlaybackInfo::get_PlaybackStatus>}});
  case SessionKind::controls:
    return controlsMethods();
  case SessionKind::timeline:
    return inspectable<SessionKind::timeline>(
        {{"StartTime", 2, getter<T, Ticks, &T::get_StartTime>},
         {"EndTime", 2, getter<T, Ticks, &T::get_EndTime>},
         none<SessionKind::timeline>("MinSeekTime"),
         none<SessionKind::timeline>("MaxSeekTime"),
         {"Position", 2, getter<T, Ticks, &T::get_Position>}});
  case SessionKind::managerOperation:
    return operationMethods<Manager *, SessionKind::managerOperation>();
  case SessionKind::propertiesOperation:
    return operationMethods<MediaProperties *, SessionKind::propertiesOperation>();
  case SessionKind::pressOperation:
    return operationMethods<Boolean, SessionKind::pressOperation>();
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

// --- combase

std::uint32_t roGetActivationFactory(const Call &c) {
  if (!c.arg(1)) throw Fault("RoGetActivationFactory was given a null IID");
  GUID iid{};
  std::string bytes = read(c.arg(1), sizeof iid);
  std::memcpy(&iid, bytes.data(), sizeof iid);
  void *factory = nullptr;
  HRESULT r = sim::roGetActivationFactory(hostString(c.arg(0)), iid, c.arg(2) ? &factory : nullptr);
  if (c.arg(2)) put(c.arg(2), static_cast<ManagerStatics *>(factory));
  return hresult(r);
}

std::uint32_t windowsCreateString(const Call &c) {
  std::wstring text = c.arg(0) ? win32::readWide(c.arg(0), c.arg(1)) : std::wstring();
  HSTRING string = nullptr;
  HRESULT r = sim::windowsCreateString(c.arg(0) ? text.c_str() : nullptr, c.arg(1),
                                       c.arg(2) ? &string : nullptr);
  if (c.arg(2)) put(c.arg(2), string);
  return hresult(r);
}

std::uint32_t windowsDeleteString(const Call &c) {
  HRESULT r = sim::windowsDeleteString(hostString(c.arg(0)));
  sessionObjects().strings.erase(c.arg(0));
  return hresult(r);
}

// The guest's own copy of the text is the buffer.
std::uint32_t windowsGetStringRawBuffer(const Call &c) {
  UINT32 length = 0;
  sim::windowsGetStringRawBuffer(hostString(c.arg(0)), &length);
  if (c.arg(1)) write32(c.arg(1), length);
  if (c.arg(0)) return c.arg(0);
  Addr empty = takeSessionArea(2);
  write32(empty, 0);
  return empty;
}

} // namespace

void resetCombaseBindings() {
  sessionObjects() = SessionObjects{};
  map(sessionArea, sessionAreaSize, UC_PROT_READ);
  nameRegion(sessionArea, sessionArea + sessionAreaSize, "the media sessions' objects");
  for (int i = 0; i <= static_cast<int>(SessionKind::asyncInfo); ++i) {
    auto k = static_cast<SessionKind>(i);
    std::vector<Method> methods = methodsOf(k);
    Addr vtable = takeSessionArea(4 * static_cast<Addr>(methods.size()));
    writeVtable(vtable, nameOf(k), methods);
    sessionObjects().vtables[k] = vtable;
  }
}

const std::vector<Binding> &combaseBindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"combase.dll", "RoGetActivationFactory", w, 3, roGetActivationFactory, 0},
      {"combase.dll", "WindowsCreateString", w, 3, windowsCreateString, 0},
      {"combase.dll", "WindowsDeleteString", w, 1, windowsDeleteString, 0},
      {"combase.dll", "WindowsGetStringRawBuffer", w, 2, windowsGetStringRawBuffer, 0},
  };
  return bindings;
}

} // namespace emu
