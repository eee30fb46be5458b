#pragma once
// Windows' media sessions (Windows 10 1809 and later), the ones the system's volume flyout
// shows, declared by hand in their vtable order: Windows' headers for them are not at hand.
// After IInspectable's six methods each interface lists its slots up to the last one used.
#include "host/win32.h"

#include <cstdint>
#include <string_view>

namespace sessionapi {

// Each returns S_OK and writes its out-parameter; a boolean is one byte.
using Boolean = BYTE;
// 100 ns units, as TimeSpan counts them.
using Ticks = std::int64_t;
// 100 ns units since 1601, as GetSystemTimeAsFileTime counts them.
using DateTime = std::int64_t;

inline constexpr GUID iidManagerStatics{
    0x2050c4ee, 0x11a0, 0x57de, {0xae, 0xd7, 0xc9, 0x7c, 0x70, 0x33, 0x82, 0x45}};
inline constexpr GUID iidAsyncInfo{
    0x00000036, 0x0000, 0x0000, {0xc0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

inline constexpr std::wstring_view managerClass =
    L"Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";

enum AsyncStatus : std::int32_t { asyncStarted = 0, asyncCompleted = 1 };
enum PlaybackStatus : std::int32_t { statusPlaying = 4, statusPaused = 5 };

// IAsyncOperation<T>: its pointer is used as it is returned, so no IID is needed.
template <class Result> struct AsyncOperation : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE put_Completed(IUnknown *handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Completed(IUnknown **handler) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetResults(Result *result) = 0;
};

struct AsyncInfo : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Id(UINT32 *id) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Status(std::int32_t *status) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_ErrorCode(HRESULT *code) = 0;
  virtual HRESULT STDMETHODCALLTYPE Cancel() = 0;
  virtual HRESULT STDMETHODCALLTYPE Close() = 0;
};

struct TimelineProperties : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_StartTime(Ticks *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_EndTime(Ticks *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MinSeekTime(Ticks *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_MaxSeekTime(Ticks *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Position(Ticks *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_LastUpdatedTime(DateTime *value) = 0;
};

struct PlaybackControls : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_IsPlayEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPauseEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsStopEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsRecordEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsFastForwardEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsRewindEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsNextEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPreviousEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsChannelUpEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsChannelDownEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPlayPauseToggleEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsShuffleEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsRepeatEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPlaybackRateEnabled(Boolean *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_IsPlaybackPositionEnabled(Boolean *value) = 0;
};

// IReference<double>: a value the player may leave out (a null pointer).
struct DoubleReference : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Value(double *value) = 0;
};

struct PlaybackInfo : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Controls(PlaybackControls **value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackStatus(std::int32_t *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackType(IInspectable **value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AutoRepeatMode(IInspectable **value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_PlaybackRate(DoubleReference **value) = 0;
};

struct MediaProperties : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_Title(HSTRING *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Subtitle(HSTRING *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_AlbumArtist(HSTRING *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Artist(HSTRING *value) = 0;
};

using Pressed = AsyncOperation<Boolean>;

struct Session : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE get_SourceAppUserModelId(HSTRING *value) = 0;
  virtual HRESULT STDMETHODCALLTYPE
  TryGetMediaPropertiesAsync(AsyncOperation<MediaProperties *> **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetTimelineProperties(TimelineProperties **value) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPlaybackInfo(PlaybackInfo **value) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryPlayAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryPauseAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryStopAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryRecordAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryFastForwardAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryRewindAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TrySkipNextAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TrySkipPreviousAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeChannelUpAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeChannelDownAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryTogglePlayPauseAsync(Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeAutoRepeatModeAsync(std::int32_t mode,
                                                                 Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangePlaybackRateAsync(double rate,
                                                               Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangeShuffleActiveAsync(Boolean active,
                                                                Pressed **operation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TryChangePlaybackPositionAsync(Ticks position,
                                                                   Pressed **operation) = 0;
};

// IVectorView<Session>: its pointer is used as it is returned, so no IID is needed.
struct SessionList : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE GetAt(UINT32 index, Session **session) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_Size(UINT32 *size) = 0;
};

struct Manager : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE GetCurrentSession(Session **session) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSessions(SessionList **sessions) = 0;
};

struct ManagerStatics : IInspectable {
  virtual HRESULT STDMETHODCALLTYPE RequestAsync(AsyncOperation<Manager *> **operation) = 0;
};

// The shell's item for an app in the Apps folder, which gives the name Windows shows for it.
struct ShellItem : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE BindToHandler(void *context, REFGUID handler, REFIID iid,
                                                  void **out) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetParent(ShellItem **parent) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDisplayName(std::int32_t form, LPWSTR *name) = 0;
};

inline constexpr GUID iidShellItem{
    0x43826d1e, 0xe718, 0x42ee, {0xbc, 0x55, 0xa1, 0xe2, 0x61, 0xc3, 0x7b, 0xfe}};
inline constexpr GUID appsFolder{
    0x1e87508d, 0x89c2, 0x42f0, {0x8a, 0x7e, 0x64, 0x5a, 0x0f, 0x50, 0xca, 0x58}};
inline constexpr DWORD knownFolderDontVerify = 0x00004000;
inline constexpr std::int32_t normalDisplayName = 0;

// shell32's, from Vista on, looked up at run time so that the DLL still loads on XP.
using SHCreateItemInKnownFolderFunction = HRESULT(WINAPI *)(REFGUID folder, DWORD flags,
                                                            const wchar_t *item, REFIID iid,
                                                            void **out);

// combase's functions, looked up at run time: Windows before 8 has no combase.dll.
using RoGetActivationFactoryFunction = HRESULT(WINAPI *)(HSTRING name, REFIID iid, void **factory);
using WindowsCreateStringFunction = HRESULT(WINAPI *)(const wchar_t *text, UINT32 length,
                                                      HSTRING *string);
using WindowsDeleteStringFunction = HRESULT(WINAPI *)(HSTRING string);
using WindowsGetStringRawBufferFunction = const wchar_t *(WINAPI *)(HSTRING string, UINT32 *length);

} // namespace sessionapi
