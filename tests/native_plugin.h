#pragma once
// The plug-in of the native build as the messenger finds it right after loading the library:
// every module-level value back at zero, null or empty.
void unloadNativePlugin();
