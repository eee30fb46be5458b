// ole32 and Core Audio of the simulated Win32: COM, and three objects whose calls it keeps.
#include "win32sim.h"
#include <cstring>

namespace {
struct ComMachine {
  sim::CoreAudio audio;
  sim::ComReferences references{0, 0, 0};
  int initialisedByPlugin = 0;
  int uninitialisedByPlugin = 0;
};

ComMachine &com() {
  static ComMachine c;
  return c;
}

constexpr GUID clsidEnumerator{
    0xbcde0395, 0xe52f, 0x467c, {0x8e, 0x3d, 0xc4, 0x57, 0x92, 0x91, 0x69, 0x2e}};
constexpr GUID iidEnumerator{
    0xa95664d2, 0x9614, 0x4f35, {0xa7, 0x46, 0xde, 0x8d, 0xb6, 0x36, 0x17, 0xe6}};
constexpr GUID iidDevice{
    0xd666063f, 0x1587, 0x4e43, {0x81, 0xf1, 0xb9, 0x48, 0xe8, 0x07, 0x36, 0x3f}};
constexpr GUID iidEndpointVolume{
    0x5cdf2c82, 0x841e, 0x4546, {0x97, 0x22, 0x0c, 0xf7, 0x40, 0x78, 0x22, 0x9a}};
constexpr GUID iidUnknown{
    0x00000000, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// Notes a call of an object's method (a name that lives as long as the program, so that noting
// it takes no memory); a call on a released object or without COM is a misuse.
void called(std::string_view call, const char *object, ULONG references) {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back(call);
  if (!references) a.misuses.push_back(std::string(call) + " on the released " + object);
  if (a.apartment == sim::Apartment::none) a.misuses.push_back(std::string(call) + " without COM");
}

ULONG addRef(std::string_view call, const char *object, ULONG &references) {
  called(call, object, references);
  return ++references;
}
ULONG release(std::string_view call, const char *object, ULONG &references) {
  called(call, object, references);
  return references ? --references : 0;
}

// Hands out an object: one more reference, and the pointer into the out-parameter.
template <class Interface> HRESULT handOut(Interface &object, ULONG &references, void **out) {
  ++references;
  *out = &object;
  return S_OK;
}

template <class Interface>
HRESULT queryInterface(Interface &object, const GUID &own, REFIID iid, void **out,
                       ULONG &references, std::string_view call, const char *name) {
  called(call, name, references);
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!(iid == own || iid == iidUnknown)) return E_NOINTERFACE;
  return handOut(object, references, out);
}

class EndpointVolume final : public IAudioEndpointVolume {
  ULONG &refs() { return com().references.endpointVolume; }
  HRESULT unserved(const char *method) {
    called(method, "endpoint volume", refs());
    return E_NOTIMPL;
  }

public:
  HRESULT QueryInterface(REFIID iid, void **out) override {
    return queryInterface(*this, iidEndpointVolume, iid, out, refs(),
                          "QueryInterface endpoint volume", "endpoint volume");
  }
  ULONG AddRef() override { return addRef("AddRef endpoint volume", "endpoint volume", refs()); }
  ULONG Release() override { return release("Release endpoint volume", "endpoint volume", refs()); }
  HRESULT RegisterControlChangeNotify(IAudioEndpointVolumeCallback *) override {
    return unserved("RegisterControlChangeNotify");
  }
  HRESULT UnregisterControlChangeNotify(IAudioEndpointVolumeCallback *) override {
    return unserved("UnregisterControlChangeNotify");
  }
  HRESULT GetChannelCount(UINT *) override { return unserved("GetChannelCount"); }
  HRESULT SetMasterVolumeLevel(float, LPCGUID) override { return unserved("SetMasterVolumeLevel"); }
  HRESULT SetMasterVolumeLevelScalar(float level, LPCGUID) override {
    sim::CoreAudio &a = com().audio;
    called("SetMasterVolumeLevelScalar", "endpoint volume", refs());
    if (level < 0 || level > 1) return E_INVALIDARG;
    a.masterLevelsSet.push_back(level);
    a.masterLevel = level;
    return S_OK;
  }
  HRESULT GetMasterVolumeLevel(float *) override { return unserved("GetMasterVolumeLevel"); }
  HRESULT GetMasterVolumeLevelScalar(float *level) override {
    called("GetMasterVolumeLevelScalar", "endpoint volume", refs());
    if (!level) return E_POINTER;
    *level = com().audio.masterLevel;
    return S_OK;
  }
  HRESULT SetChannelVolumeLevel(UINT, float, LPCGUID) override {
    return unserved("SetChannelVolumeLevel");
  }
  HRESULT SetChannelVolumeLevelScalar(UINT, float, LPCGUID) override {
    return unserved("SetChannelVolumeLevelScalar");
  }
  HRESULT GetChannelVolumeLevel(UINT, float *) override {
    return unserved("GetChannelVolumeLevel");
  }
  HRESULT GetChannelVolumeLevelScalar(UINT, float *) override {
    return unserved("GetChannelVolumeLevelScalar");
  }
  // As Windows: S_FALSE when the endpoint already had that setting.
  HRESULT SetMute(BOOL mute, LPCGUID context) override {
    sim::CoreAudio &a = com().audio;
    called("SetMute", "endpoint volume", refs());
    a.setMutes.push_back({mute, context != nullptr, context ? *context : GUID{}});
    if (FAILED(a.setMuteResult)) return a.setMuteResult;
    bool unchanged = a.endpointMuted == (mute != FALSE);
    a.endpointMuted = mute != FALSE;
    return unchanged || a.setMuteResult == S_FALSE ? S_FALSE : S_OK;
  }
  HRESULT GetMute(BOOL *mute) override {
    called("GetMute", "endpoint volume", refs());
    if (!mute) return E_POINTER;
    *mute = com().audio.endpointMuted ? TRUE : FALSE;
    return S_OK;
  }
  HRESULT GetVolumeStepInfo(UINT *, UINT *) override { return unserved("GetVolumeStepInfo"); }
  HRESULT VolumeStepUp(LPCGUID) override { return unserved("VolumeStepUp"); }
  HRESULT VolumeStepDown(LPCGUID) override { return unserved("VolumeStepDown"); }
  HRESULT QueryHardwareSupport(DWORD *) override { return unserved("QueryHardwareSupport"); }
  HRESULT GetVolumeRange(float *, float *, float *) override { return unserved("GetVolumeRange"); }
};

EndpointVolume endpointVolume;

class Device final : public IMMDevice {
  ULONG &refs() { return com().references.device; }

public:
  HRESULT QueryInterface(REFIID iid, void **out) override {
    return queryInterface(*this, iidDevice, iid, out, refs(), "QueryInterface device", "device");
  }
  ULONG AddRef() override { return addRef("AddRef device", "device", refs()); }
  ULONG Release() override { return release("Release device", "device", refs()); }
  HRESULT Activate(REFIID iid, DWORD context, PROPVARIANT *, void **out) override {
    sim::CoreAudio &a = com().audio;
    called("Activate", "device", refs());
    a.activateContexts.push_back(context);
    if (!out) return E_POINTER;
    *out = nullptr;
    if (FAILED(a.activateResult)) return a.activateResult;
    if (!(iid == iidEndpointVolume)) return E_NOINTERFACE;
    return handOut(endpointVolume, com().references.endpointVolume, out);
  }
  HRESULT OpenPropertyStore(DWORD, IPropertyStore **) override {
    called("OpenPropertyStore", "device", refs());
    return E_NOTIMPL;
  }
  HRESULT GetId(LPWSTR *) override {
    called("GetId", "device", refs());
    return E_NOTIMPL;
  }
  HRESULT GetState(DWORD *) override {
    called("GetState", "device", refs());
    return E_NOTIMPL;
  }
};

Device device;

class Enumerator final : public IMMDeviceEnumerator {
  ULONG &refs() { return com().references.enumerator; }
  HRESULT unserved(const char *method) {
    called(method, "enumerator", refs());
    return E_NOTIMPL;
  }

public:
  HRESULT QueryInterface(REFIID iid, void **out) override {
    return queryInterface(*this, iidEnumerator, iid, out, refs(), "QueryInterface enumerator",
                          "enumerator");
  }
  ULONG AddRef() override { return addRef("AddRef enumerator", "enumerator", refs()); }
  ULONG Release() override { return release("Release enumerator", "enumerator", refs()); }
  HRESULT EnumAudioEndpoints(EDataFlow, DWORD, IMMDeviceCollection **) override {
    return unserved("EnumAudioEndpoints");
  }
  HRESULT GetDefaultAudioEndpoint(EDataFlow flow, ERole role, IMMDevice **out) override {
    sim::CoreAudio &a = com().audio;
    called("GetDefaultAudioEndpoint", "enumerator", refs());
    a.endpointRequests.emplace_back(flow, role);
    if (!out) return E_POINTER;
    *out = nullptr;
    if (flow != eRender && flow != eCapture) return E_INVALIDARG;
    if (!a.defaultEndpoint) return E_NOTFOUND;
    return handOut<IMMDevice>(device, com().references.device, reinterpret_cast<void **>(out));
  }
  HRESULT GetDevice(LPCWSTR, IMMDevice **) override { return unserved("GetDevice"); }
  HRESULT RegisterEndpointNotificationCallback(IMMNotificationClient *) override {
    return unserved("RegisterEndpointNotificationCallback");
  }
  HRESULT UnregisterEndpointNotificationCallback(IMMNotificationClient *) override {
    return unserved("UnregisterEndpointNotificationCallback");
  }
};

Enumerator enumerator;
} // namespace

bool operator==(const GUID &a, const GUID &b) {
  return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

template <> const GUID &simUuidOf<MMDeviceEnumerator>() {
  return clsidEnumerator;
}
template <> const GUID &simUuidOf<IMMDeviceEnumerator>() {
  return iidEnumerator;
}
template <> const GUID &simUuidOf<IMMDevice>() {
  return iidDevice;
}
template <> const GUID &simUuidOf<IAudioEndpointVolume>() {
  return iidEndpointVolume;
}
template <> const GUID &simUuidOf<IUnknown>() {
  return iidUnknown;
}

// As COM: the first call on the thread chooses the model; later calls of the same model are
// counted (S_FALSE), of the other model refused.
HRESULT CoInitializeEx(LPVOID, DWORD coInit) {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back("CoInitializeEx");
  auto wanted = (coInit & COINIT_APARTMENTTHREADED) ? sim::Apartment::singleThreaded
                                                    : sim::Apartment::multithreaded;
  HRESULT result = S_OK;
  if (FAILED(a.initialiseFails))
    result = a.initialiseFails;
  else if (a.apartment == sim::Apartment::none)
    a.apartment = wanted;
  else if (a.apartment == wanted)
    result = S_FALSE;
  else
    result = RPC_E_CHANGED_MODE;
  if (SUCCEEDED(result)) ++a.initialisations, ++com().initialisedByPlugin;
  a.initialiseResults.push_back(result);
  return result;
}

void CoUninitialize() {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back("CoUninitialize");
  ++com().uninitialisedByPlugin;
  if (a.initialisations == 0) {
    a.misuses.push_back("CoUninitialize without CoInitializeEx");
    return;
  }
  if (--a.initialisations == 0) a.apartment = sim::Apartment::none;
}

// What the simulated shell hands out comes from malloc.
void CoTaskMemFree(LPVOID block) {
  std::free(block);
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID *object) {
  sim::CoreAudio &a = com().audio;
  a.calls.push_back("CoCreateInstance");
  a.createContexts.push_back(context);
  if (!object) return E_POINTER;
  *object = nullptr;
  if (a.apartment == sim::Apartment::none) return CO_E_NOTINITIALIZED;
  if (!a.registered || !(clsid == clsidEnumerator) || !(context & CLSCTX_INPROC_SERVER))
    return REGDB_E_CLASSNOTREG;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!(iid == iidEnumerator || iid == iidUnknown)) return E_NOINTERFACE;
  return handOut<IMMDeviceEnumerator>(enumerator, com().references.enumerator, object);
}

namespace sim {
CoreAudio &coreAudio() {
  return com().audio;
}
void installCoreAudio() {
  com().audio.registered = true;
}
void resetCoreAudio() {
  com() = ComMachine{};
}
ComReferences comReferences() {
  return com().references;
}
ComThreadState swapComThreadState(ComThreadState state) {
  CoreAudio &a = com().audio;
  ComThreadState was{a.apartment, a.initialisations};
  a.apartment = state.apartment;
  a.initialisations = state.initialisations;
  return was;
}
int unbalancedComInitialisations() {
  return com().initialisedByPlugin - com().uninitialisedByPlugin;
}
} // namespace sim
