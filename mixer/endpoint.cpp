#include "mixer/endpoint.h"

#include "host/compointer.h"

#include <algorithm>

namespace {

// COM on the messenger's thread for one press. A call that initialised it (S_OK, or S_FALSE
// when it already was in this model) is balanced; in the other model (RPC_E_CHANGED_MODE)
// COM is up already and is left alone.
struct ComApartment {
  HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  ComApartment() = default;
  ~ComApartment() {
    if (SUCCEEDED(result)) CoUninitialize();
  }
  ComApartment(const ComApartment &) = delete;
  ComApartment &operator=(const ComApartment &) = delete;
  bool usable() const { return SUCCEEDED(result) || result == RPC_E_CHANGED_MODE; }
};

// The default playback endpoint's volume control, with the enumerator and the device it came
// from. The members are released in reverse, every interface before COM is uninitialised.
struct Endpoint {
  ComApartment apartment;
  ComPointer<IMMDeviceEnumerator> enumerator;
  ComPointer<IMMDevice> device;
  ComPointer<IAudioEndpointVolume> volume;
  bool open();
};

bool Endpoint::open() {
  if (!apartment.usable()) return false;
  if (!enumerator.took(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                        __uuidof(IMMDeviceEnumerator),
                                        reinterpret_cast<void **>(enumerator.out()))))
    return false;
  // Looked up at every press: headphones plugged in since the last one are the device now.
  if (!device.took(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.out())))
    return false;
  return volume.took(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_INPROC_SERVER, nullptr,
                                      reinterpret_cast<void **>(volume.out())));
}

} // namespace

bool setEndpointMute(bool mute) {
  Endpoint endpoint;
  if (!endpoint.open()) return false;
  ComPointer<IAudioEndpointVolume> &volume = endpoint.volume;
  return SUCCEEDED(volume->SetMute(mute ? TRUE : FALSE, nullptr));
}

bool stepEndpointVolume(std::int32_t byPercent) {
  Endpoint endpoint;
  if (!endpoint.open()) return false;
  float level = 0;
  if (FAILED(endpoint.volume->GetMasterVolumeLevelScalar(&level))) return false;
  // In whole percent, as the system's volume slider shows it.
  std::int32_t percent =
      std::clamp(static_cast<std::int32_t>(level * 100 + 0.5f) + byPercent, 0, 100);
  return SUCCEEDED(
      endpoint.volume->SetMasterVolumeLevelScalar(static_cast<float>(percent) / 100, nullptr));
}
