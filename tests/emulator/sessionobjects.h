#pragma once
// The media sessions' objects of the simulated Win32 as the guest sees them, served as com.cpp
// serves Core Audio's: each object a guest pointer to a vtable of host routines in the
// interface's order, stdcall with the object first. An HSTRING crosses as the guest address of
// its UTF-16 text. A boolean out-parameter gets one byte, a TimeSpan eight.
#include "tests/emulator/bindings.h"

#include "tests/emulator/win32.h"

#include "player/sessions/api.h"

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

namespace emu::sessions {

using namespace sessionapi;
using win32::hresult;

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
  sessionList,
  rate,
  shellItem,
  asyncInfo
};

const char *nameOf(SessionKind k);

// The host interfaces in the order of their kinds.
using Interfaces =
    std::tuple<ManagerStatics, Manager, Session, MediaProperties, PlaybackInfo, PlaybackControls,
               TimelineProperties, AsyncOperation<Manager *>, AsyncOperation<MediaProperties *>,
               Pressed, SessionList, DoubleReference, ShellItem, AsyncInfo>;

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
  std::set<Addr> taskMemory;       // texts the shell handed out, for CoTaskMemFree
  Addr next = sessionArea;
};

SessionObjects &sessionObjects();
Addr takeSessionArea(Addr size);
// The guest object for a host interface; a host address used again by a new object of another
// interface gets a guest object of its own.
Addr guestObject(IUnknown *host, SessionKind kind);
// An HSTRING for the guest: its text, NUL-terminated, in the sessions' area.
Addr guestString(HSTRING host);
HSTRING hostString(Addr guest);

// --- the out-parameters, written as the guest's types are wide
void put(Addr p, HSTRING value);
void put(Addr p, std::int32_t value);
void put(Addr p, Boolean value);
void put(Addr p, Ticks value);
void put(Addr p, UINT32 value);
void put(Addr p, double value);

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

std::uint32_t changePosition(const Call &c);
std::uint32_t cancel(const Call &c);
std::uint32_t sessionAt(const Call &c);
std::uint32_t displayName(const Call &c);

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

template <SessionKind K> std::vector<Method> unknown(std::vector<Method> own) {
  std::vector<Method> all{{"QueryInterface", 3, queryInterface<K>},
                          {"AddRef", 1, addRef<K>},
                          {"Release", 1, release<K>}};
  all.insert(all.end(), own.begin(), own.end());
  return all;
}

template <SessionKind K> std::vector<Method> inspectable(std::vector<Method> own) {
  own.insert(own.begin(), {{"GetIids", 3, unserved<K>},
                           {"GetRuntimeClassName", 2, unserved<K>},
                           {"GetTrustLevel", 2, unserved<K>}});
  return unknown<K>(own);
}

template <SessionKind K> Method none(const char *name, int argumentCount = 2) {
  return {name, argumentCount, unserved<K>};
}

// The methods of each kind's interface, in vtable order.
std::vector<Method> methodsOf(SessionKind k);

} // namespace emu::sessions
