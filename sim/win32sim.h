#pragma once
// A small simulated Win32 for the native build, over in-memory state that tests set up and inspect:
// Win32's base types, handles and error codes, and a header for each part of Windows it serves.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#define WINAPI
#define CALLBACK

using BOOL = int;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using INT = int;
using LONG = std::int32_t;
using CHAR = char;
// UTF-16 code units, as on Windows; wchar_t is wider here, and holds one unit each.
using WCHAR = wchar_t;
using LCID = DWORD;
using REGSAM = DWORD;
using LSTATUS = LONG;
using MMRESULT = UINT;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using PDWORD_PTR = DWORD_PTR *;
using LPDWORD = DWORD *;
using LPBYTE = BYTE *;
using LPCSTR = const char *;
using LPSTR = char *;
using LPCWSTR = const WCHAR *;
using LPWSTR = WCHAR *;
using LPVOID = void *;
using LPCVOID = const void *;
using SIZE_T = std::size_t;
using PBOOL = BOOL *;
using LPBOOL = BOOL *;
using FARPROC = std::intptr_t (*)();

struct SimWindow;
struct SimInstance;
struct SimIcon;
struct SimKey;
struct SimHandle;
struct SimMixerObject;
using HWND = SimWindow *;
using HINSTANCE = SimInstance *;
using HMODULE = HINSTANCE;
using HICON = SimIcon *;
using HKEY = SimKey *;
using HANDLE = SimHandle *;
using HMIXEROBJ = SimMixerObject *;
using LPSECURITY_ATTRIBUTES = void *;
using LPOVERLAPPED = void *;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr LONG ERROR_MOD_NOT_FOUND = 126;
inline constexpr LONG ERROR_PROC_NOT_FOUND = 127;
inline constexpr LONG ERROR_MORE_DATA = 234;
inline constexpr LONG ERROR_INVALID_WINDOW_HANDLE = 1400;
inline constexpr LONG ERROR_TIMEOUT = 1460;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_PARTIAL_COPY = 299;

#include "user32.h"
#include "kernel32.h"
#include "mapping.h"
#include "advapi32.h"
#include "shell32.h"
#include "nls.h"
#include "winmm.h"
#include "ole32.h"
#include "threads.h"
#include "combase.h"
