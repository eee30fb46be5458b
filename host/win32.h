#pragma once
// The one place that decides which Win32 the plug-in talks to: the real one in the DLL,
// the simulated one in the native build.
#if defined(_WIN32)
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
// Core Audio, for the mute of the default playback endpoint.
#include <objbase.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
// The media sessions' interfaces; combase's functions are looked up at run time.
#include <inspectable.h>

extern "C" IMAGE_DOS_HEADER __ImageBase;

// The plug-in's own module, where its icons live; no DllMain is needed to learn it.
inline HINSTANCE thisModule() {
  return reinterpret_cast<HINSTANCE>(&__ImageBase);
}
#else
#include "win32sim.h"
#endif
