#include "mixer/endpoint.h"

#include "host/win32.h"

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

// An interface pointer, released on every path.
template <class Interface> struct ComPointer {
  Interface *pointer = nullptr;
  ComPointer() = default;
  ~ComPointer() {
    if (pointer) pointer->Release();
  }
  ComPointer(const ComPointer &) = delete;
  ComPointer &operator=(const ComPointer &) = delete;
  Interface **out() { return &pointer; }
  Interface *operator->() const { return pointer; }
  // The call succeeded and gave an interface.
  bool took(HRESULT result) const { return SUCCEEDED(result) && pointer; }
};

} // namespace

bool setEndpointMute(bool mute) {
  // Declared first, so that every interface is released before COM is uninitialised.
  ComApartment apartment;
  if (!apartment.usable()) return false;
  ComPointer<IMMDeviceEnumerator> enumerator;
  if (!enumerator.took(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_INPROC_SERVER,
                                        __uuidof(IMMDeviceEnumerator),
                                        reinterpret_cast<void **>(enumerator.out()))))
    return false;
  // Looked up at every press: headphones plugged in since the last one are the device now.
  ComPointer<IMMDevice> device;
  if (!device.took(enumerator->GetDefaultAudioEndpoint(eRender, eConsole, device.out())))
    return false;
  ComPointer<IAudioEndpointVolume> volume;
  if (!volume.took(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_INPROC_SERVER, nullptr,
                                    reinterpret_cast<void **>(volume.out()))))
    return false;
  return SUCCEEDED(volume->SetMute(mute ? TRUE : FALSE, nullptr));
}
