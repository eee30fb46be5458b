#pragma once
// AIMP's remote-control window: what it understands, finding it, and starting AIMP.
#include "host/win32.h"
#include "player/send.h"

#include <cstdint>

inline constexpr const char *aimpWindowClass = "AIMP2_RemoteInfo";

// A command in wParam, 0 in lParam.
inline constexpr UINT aimpCommandMessage = WM_USER + 0x75;
// A property's id with the get or set flag in wParam, the value to set in lParam.
inline constexpr UINT aimpPropertyMessage = WM_USER + 0x77;

enum AimpCommand : WPARAM {
  aimpCommandPlay = 13,
  aimpCommandPause = 15,
  aimpCommandNext = 17,
  aimpCommandPrevious = 18,
  aimpCommandOpenFiles = 26,
};

enum AimpProperty : WPARAM {
  aimpPosition = 0x20, // milliseconds; settable
  aimpDuration = 0x30, // milliseconds
  aimpState = 0x40,    // one of the AimpState values
  aimpVolume = 0x50,   // 0 to 100; settable
};

enum AimpState : LRESULT { aimpStopped = 0, aimpPaused = 1, aimpPlaying = 2 };

HWND findAimpWindow();
// AIMP's window, starting AIMP when needed; 0 after a box told the user why not.
HWND acquireAimpWindow();
// A Winamp-class window that AIMP shows as its imitation of Winamp: its process owns AIMP's
// own window too.
bool isAimpsImitation(HWND winampWindow);

// A property of AIMP's, asked or set through the window that was last looked up.
PlayerReply askAimp(AimpProperty property);
PlayerReply setAimp(AimpProperty property, std::int32_t value);
