// ole32 and the Core Audio objects of the simulated Win32, served to the guest: each host
// object is a guest object whose first DWORD points to a guest vtable of host routines, one
// per method in the interface's order, stdcall with the object as the first argument. GUIDs
// are read from guest memory and compared as bytes; interfaces go out as guest pointers.
#include "tests/emulator/bindings.h"
#include "tests/emulator/win32.h"

#include "win32sim.h"

#include <unicorn/unicorn.h>

#include <cstring>
#include <map>

namespace emu {

namespace {

using win32::guidAt;
using win32::hresult;

enum class Interface { unknown, enumerator, device, endpointVolume };

struct ComObject {
  IUnknown *host;
  Interface interface;
};

struct ComObjects {
  std::map<Interface, Addr> vtables;
  std::map<Addr, ComObject> objects;          // guest address -> host object
  std::map<const IUnknown *, Addr> addresses; // host object -> guest address
  Addr next = comArea;
};

ComObjects &comObjects() {
  static ComObjects s;
  return s;
}

const char *nameOf(Interface i) {
  switch (i) {
  case Interface::enumerator:
    return "IMMDeviceEnumerator";
  case Interface::device:
    return "IMMDevice";
  case Interface::endpointVolume:
    return "IAudioEndpointVolume";
  default:
    return "IUnknown";
  }
}

Addr takeComArea(Addr size) {
  Addr at = comObjects().next;
  comObjects().next += (size + 15) / 16 * 16;
  if (comObjects().next > comArea + pageSize) throw Fault("the COM page is full");
  return at;
}

// The guest object for a host interface pointer: null stays null.
Addr guestObject(IUnknown *host, Interface interface) {
  if (!host) return 0;
  ComObjects &s = comObjects();
  if (auto known = s.addresses.find(host); known != s.addresses.end()) return known->second;
  Addr object = takeComArea(4);
  write32(object, s.vtables.at(interface));
  s.objects[object] = {host, interface};
  s.addresses[host] = object;
  return object;
}

// The object a method was called on: it must be one handed out, of the method's interface.
template <class Host> Host *self(const Call &c, Interface interface) {
  auto o = comObjects().objects.find(c.arg(0));
  if (o == comObjects().objects.end())
    throw Fault(std::string("an ") + nameOf(interface) + " method was called on " +
                std::to_string(c.arg(0)) + ", which is no COM object");
  if (o->second.interface != interface && interface != Interface::unknown)
    throw Fault(std::string("an ") + nameOf(interface) + " method was called on an " +
                nameOf(o->second.interface));
  return static_cast<Host *>(o->second.host);
}

Interface interfaceOf(const GUID &iid) {
  if (iid == __uuidof(IMMDeviceEnumerator)) return Interface::enumerator;
  if (iid == __uuidof(IMMDevice)) return Interface::device;
  if (iid == __uuidof(IAudioEndpointVolume)) return Interface::endpointVolume;
  return Interface::unknown;
}

// --- ole32

std::uint32_t coInitializeEx(const Call &c) {
  if (c.arg(0)) throw Fault("CoInitializeEx was given a reserved pointer");
  return hresult(CoInitializeEx(nullptr, c.arg(1)));
}

std::uint32_t coUninitialize(const Call &) {
  CoUninitialize();
  return 0;
}

std::uint32_t coCreateInstance(const Call &c) {
  GUID clsid = guidAt(c.arg(0), "CoCreateInstance"), iid = guidAt(c.arg(3), "CoCreateInstance");
  if (c.arg(1)) throw Fault("CoCreateInstance was asked to aggregate");
  void *object = nullptr;
  HRESULT r = CoCreateInstance(clsid, nullptr, c.arg(2), iid, c.arg(4) ? &object : nullptr);
  if (c.arg(4)) write32(c.arg(4), guestObject(static_cast<IUnknown *>(object), interfaceOf(iid)));
  return hresult(r);
}

// --- IUnknown, for every interface

template <Interface I> std::uint32_t queryInterface(const Call &c) {
  IUnknown *host = self<IUnknown>(c, I);
  GUID iid = guidAt(c.arg(1), "QueryInterface");
  void *object = nullptr;
  HRESULT r = host->QueryInterface(iid, c.arg(2) ? &object : nullptr);
  if (c.arg(2)) write32(c.arg(2), guestObject(static_cast<IUnknown *>(object), I));
  return hresult(r);
}

template <Interface I> std::uint32_t addRef(const Call &c) {
  return self<IUnknown>(c, I)->AddRef();
}

template <Interface I> std::uint32_t release(const Call &c) {
  return self<IUnknown>(c, I)->Release();
}

template <Interface I> std::uint32_t unserved(const Call &) {
  throw Fault(std::string("the DLL called an ") + nameOf(I) +
              " method that the simulation does not serve");
}

// --- IMMDeviceEnumerator, IMMDevice, IAudioEndpointVolume

std::uint32_t getDefaultAudioEndpoint(const Call &c) {
  auto *enumerator = self<IMMDeviceEnumerator>(c, Interface::enumerator);
  IMMDevice *device = nullptr;
  HRESULT r = enumerator->GetDefaultAudioEndpoint(
      static_cast<EDataFlow>(c.arg(1)), static_cast<ERole>(c.arg(2)), c.arg(3) ? &device : nullptr);
  if (c.arg(3)) write32(c.arg(3), guestObject(device, Interface::device));
  return hresult(r);
}

std::uint32_t activate(const Call &c) {
  auto *device = self<IMMDevice>(c, Interface::device);
  GUID iid = guidAt(c.arg(1), "IMMDevice::Activate");
  if (c.arg(3)) throw Fault("IMMDevice::Activate was given activation parameters");
  void *object = nullptr;
  HRESULT r = device->Activate(iid, c.arg(2), nullptr, c.arg(4) ? &object : nullptr);
  if (c.arg(4)) write32(c.arg(4), guestObject(static_cast<IUnknown *>(object), interfaceOf(iid)));
  return hresult(r);
}

std::uint32_t setMute(const Call &c) {
  auto *volume = self<IAudioEndpointVolume>(c, Interface::endpointVolume);
  GUID context{};
  if (c.arg(2)) context = guidAt(c.arg(2), "IAudioEndpointVolume::SetMute");
  return hresult(volume->SetMute(static_cast<BOOL>(c.arg(1)), c.arg(2) ? &context : nullptr));
}

std::uint32_t getMute(const Call &c) {
  auto *volume = self<IAudioEndpointVolume>(c, Interface::endpointVolume);
  BOOL mute = FALSE;
  HRESULT r = volume->GetMute(c.arg(1) ? &mute : nullptr);
  if (c.arg(1)) write32(c.arg(1), static_cast<std::uint32_t>(mute));
  return hresult(r);
}

// A float crosses as its 32 bits, on the stack and through the out-parameter alike.
std::uint32_t setMasterVolumeLevelScalar(const Call &c) {
  auto *volume = self<IAudioEndpointVolume>(c, Interface::endpointVolume);
  if (c.arg(2)) throw Fault("IAudioEndpointVolume::SetMasterVolumeLevelScalar was given a context");
  std::uint32_t bits = c.arg(1);
  float level = 0;
  std::memcpy(&level, &bits, sizeof level);
  return hresult(volume->SetMasterVolumeLevelScalar(level, nullptr));
}

std::uint32_t getMasterVolumeLevelScalar(const Call &c) {
  auto *volume = self<IAudioEndpointVolume>(c, Interface::endpointVolume);
  float level = 0;
  HRESULT r = volume->GetMasterVolumeLevelScalar(c.arg(1) ? &level : nullptr);
  std::uint32_t bits = 0;
  std::memcpy(&bits, &level, sizeof bits);
  if (c.arg(1)) write32(c.arg(1), bits);
  return hresult(r);
}

using Method = ComMethod;

template <Interface I> std::vector<Method> withUnknown(std::vector<Method> own) {
  std::vector<Method> all{{"QueryInterface", 3, queryInterface<I>},
                          {"AddRef", 1, addRef<I>},
                          {"Release", 1, release<I>}};
  all.insert(all.end(), own.begin(), own.end());
  return all;
}

// The methods in vtable order.
std::vector<Method> methodsOf(Interface i) {
  constexpr Interface e = Interface::enumerator, d = Interface::device,
                      v = Interface::endpointVolume;
  switch (i) {
  case e:
    return withUnknown<e>({{"EnumAudioEndpoints", 4, unserved<e>},
                           {"GetDefaultAudioEndpoint", 4, getDefaultAudioEndpoint},
                           {"GetDevice", 3, unserved<e>},
                           {"RegisterEndpointNotificationCallback", 2, unserved<e>},
                           {"UnregisterEndpointNotificationCallback", 2, unserved<e>}});
  case d:
    return withUnknown<d>({{"Activate", 5, activate},
                           {"OpenPropertyStore", 3, unserved<d>},
                           {"GetId", 2, unserved<d>},
                           {"GetState", 2, unserved<d>}});
  case v:
    return withUnknown<v>({{"RegisterControlChangeNotify", 2, unserved<v>},
                           {"UnregisterControlChangeNotify", 2, unserved<v>},
                           {"GetChannelCount", 2, unserved<v>},
                           {"SetMasterVolumeLevel", 3, unserved<v>},
                           {"SetMasterVolumeLevelScalar", 3, setMasterVolumeLevelScalar},
                           {"GetMasterVolumeLevel", 2, unserved<v>},
                           {"GetMasterVolumeLevelScalar", 2, getMasterVolumeLevelScalar},
                           {"SetChannelVolumeLevel", 4, unserved<v>},
                           {"SetChannelVolumeLevelScalar", 4, unserved<v>},
                           {"GetChannelVolumeLevel", 3, unserved<v>},
                           {"GetChannelVolumeLevelScalar", 3, unserved<v>},
                           {"SetMute", 3, setMute},
                           {"GetMute", 2, getMute},
                           {"GetVolumeStepInfo", 3, unserved<v>},
                           {"VolumeStepUp", 2, unserved<v>},
                           {"VolumeStepDown", 2, unserved<v>},
                           {"QueryHardwareSupport", 2, unserved<v>},
                           {"GetVolumeRange", 4, unserved<v>}});
  default:
    return withUnknown<Interface::unknown>({});
  }
}

} // namespace

void resetComBindings() {
  comObjects() = ComObjects{};
  map(comArea, pageSize, UC_PROT_READ);
  nameRegion(comArea, comArea + pageSize, "COM objects");
  for (Interface i :
       {Interface::unknown, Interface::enumerator, Interface::device, Interface::endpointVolume}) {
    std::vector<Method> methods = methodsOf(i);
    Addr vtable = takeComArea(4 * static_cast<Addr>(methods.size()));
    writeVtable(vtable, nameOf(i), methods);
    comObjects().vtables[i] = vtable;
  }
}

void writeVtable(Addr vtable, const std::string &interface, const std::vector<ComMethod> &methods) {
  for (std::size_t m = 0; m < methods.size(); ++m)
    write32(vtable + 4 * static_cast<Addr>(m),
            addHostRoutine(interface + "::" + methods[m].name, Convention::stdcall,
                           methods[m].argumentCount, methods[m].routine));
}

const std::vector<Binding> &comBindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"ole32.dll", "CoInitializeEx", w, 2, coInitializeEx, 0},
      {"ole32.dll", "CoUninitialize", w, 0, coUninitialize, 0},
      {"ole32.dll", "CoCreateInstance", w, 5, coCreateInstance, 0},
  };
  return bindings;
}

} // namespace emu
