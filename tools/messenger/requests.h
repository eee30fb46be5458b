#pragma once
// The host callback: the plug-in's requests (buttons, the chat's contact, messages), answered
// as the messenger answers them.
#include <windows.h>

const void *WINAPI hostCallback(const void *framedRequest);
