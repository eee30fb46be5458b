#pragma once
// COM interfaces held for one call.
#include "host/win32.h"

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
  void **outVoid() { return reinterpret_cast<void **>(&pointer); }
  Interface *operator->() const { return pointer; }
  // The call succeeded and gave an interface.
  bool took(HRESULT result) const { return SUCCEEDED(result) && pointer; }
};
