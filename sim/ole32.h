// ole32 and Core Audio of the simulated Win32, a part of win32sim.h: COM, and the default playback
// endpoint's mute (Vista and later). The interfaces keep the real vtable order, IUnknown first.
#define STDMETHODCALLTYPE

using HRESULT = LONG;
using ULONG = std::uint32_t;

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID &;
using REFCLSID = const CLSID &;
using REFGUID = const GUID &;
using LPCGUID = const GUID *;
bool operator==(const GUID &a, const GUID &b);

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT E_NOTFOUND = static_cast<HRESULT>(0x80070490);
inline constexpr HRESULT E_BOUNDS = static_cast<HRESULT>(0x8000000B);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
inline constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
inline constexpr HRESULT AUDCLNT_E_DEVICE_INVALIDATED = static_cast<HRESULT>(0x88890004);
inline bool SUCCEEDED(HRESULT result) {
  return result >= 0;
}
inline bool FAILED(HRESULT result) {
  return result < 0;
}

inline constexpr DWORD COINIT_MULTITHREADED = 0x0;
inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_ALL = 0x17;
enum EDataFlow { eRender, eCapture, eAll };
enum ERole { eConsole, eMultimedia, eCommunications };

struct IMMDeviceCollection;
struct IMMNotificationClient;
struct IPropertyStore;
struct PROPVARIANT;
struct IAudioEndpointVolumeCallback;

struct IUnknown {
  virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void **object) = 0;
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;
};
using LPUNKNOWN = IUnknown *;

struct IMMDevice : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD context, PROPVARIANT *parameters,
                                             void **object) = 0;
  virtual HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore **store) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetId(LPWSTR *id) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetState(DWORD *state) = 0;
};

struct IMMDeviceEnumerator : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD stateMask,
                                                       IMMDeviceCollection **devices) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole role,
                                                            IMMDevice **endpoint) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice **device) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  RegisterEndpointNotificationCallback(IMMNotificationClient *client) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterEndpointNotificationCallback(IMMNotificationClient *client) = 0;
};

struct IAudioEndpointVolume : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE
  RegisterControlChangeNotify(IAudioEndpointVolumeCallback *notify) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  UnregisterControlChangeNotify(IAudioEndpointVolumeCallback *notify) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelCount(UINT *count) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float levelDB, LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float level, LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float *levelDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float *level) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT channel, float levelDB,
                                                          LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT channel, float level,
                                                                LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT channel, float *levelDB) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel, float *level) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMute(BOOL *mute) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT *step, UINT *stepCount) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID context) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD *mask) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetVolumeRange(float *minDB, float *maxDB,
                                                   float *incrementDB) = 0;
};

class MMDeviceEnumerator;

// The GUIDs by type, as mingw-w64's __uuidof gives them.
template <class T> const GUID &simUuidOf();
template <> const GUID &simUuidOf<MMDeviceEnumerator>();
template <> const GUID &simUuidOf<IMMDeviceEnumerator>();
template <> const GUID &simUuidOf<IMMDevice>();
template <> const GUID &simUuidOf<IAudioEndpointVolume>();
template <> const GUID &simUuidOf<IUnknown>();
#define __uuidof(type) simUuidOf<type>()

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();
void CoTaskMemFree(LPVOID block);
HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid,
                         LPVOID *object);

namespace sim {
// The COM apartment of the messenger's thread.
enum class Apartment { none, singleThreaded, multithreaded };

struct SetMuteCall {
  BOOL mute;
  bool withContext; // a context GUID was given
  GUID context;
};

// Core Audio and the thread's COM. A fresh machine has no Core Audio, as Windows XP.
struct CoreAudio {
  // The machine
  bool registered = false; // the enumerator class is registered (Vista and later)
  bool defaultEndpoint = true;
  HRESULT activateResult = S_OK;
  HRESULT setMuteResult = S_OK; // S_OK, S_FALSE or a failure
  Apartment apartment = Apartment::none;
  int initialisations = 0;        // outstanding CoInitializeEx calls on the thread
  HRESULT initialiseFails = S_OK; // a failure: what every CoInitializeEx answers
  // What happened: every call by name, in order ("CoInitializeEx", "SetMute", "Release
  // device", ...), and the arguments that matter
  std::vector<std::string_view> calls;
  std::vector<HRESULT> initialiseResults;
  std::vector<DWORD> createContexts;
  std::vector<std::pair<EDataFlow, ERole>> endpointRequests;
  std::vector<DWORD> activateContexts;
  std::vector<SetMuteCall> setMutes;
  bool endpointMuted = false;
  float masterLevel = 0.5f; // the master volume, 0 to 1
  std::vector<float> masterLevelsSet;
  // Calls that real COM would not survive: on a released object, without COM, or
  // uninitialising more than was initialised
  std::vector<std::string> misuses;
};
CoreAudio &coreAudio();
// Switches Core Audio on, as on Windows Vista and later.
void installCoreAudio();
// No Core Audio and no COM on the thread, as on a fresh machine; part of reset().
void resetCoreAudio();
// The reference counts of the enumerator, the device and the endpoint volume.
struct ComReferences {
  ULONG enumerator, device, endpointVolume;
  bool operator==(const ComReferences &) const = default;
};
ComReferences comReferences();
// The plug-in's own CoInitializeEx calls that took (S_OK, S_FALSE) less its CoUninitialize
// calls: 0 when it balanced them.
int unbalancedComInitialisations();
// COM's state of one thread; a thread other than the messenger's starts with none.
struct ComThreadState {
  Apartment apartment = Apartment::none;
  int initialisations = 0;
};
// Makes the given state the running thread's and gives the one it replaces.
ComThreadState swapComThreadState(ComThreadState state);
} // namespace sim
