#pragma once
// The messenger's window: a toolbar with the plug-in's buttons (icons and hint tooltips) and
// the chat log of the open chat. All of it lives on the thread that created the window.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string_view>

struct IconDeleter {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using IconPtr = std::unique_ptr<std::remove_pointer_t<HICON>, IconDeleter>;

// Called with the button id when a person clicks a toolbar button.
using ButtonClick = void (*)(std::int32_t buttonId);

HWND createChatWindow(HINSTANCE instance, std::int32_t contact, ButtonClick onClick);
void setChatContact(std::int32_t contact);

// The toolbar keeps the icon; a null icon leaves the button without a picture.
void addToolbarButton(std::int32_t buttonId, IconPtr icon, std::string_view hint);
bool updateToolbarButton(std::int32_t buttonId, IconPtr icon, std::string_view hint);
bool removeToolbarButton(std::int32_t buttonId);
// The button's control, for clicks made by the script; 0 when there is no such button.
HWND toolbarButtonControl(std::int32_t buttonId);

// Appends a line of Windows-1251 text to the chat log.
void appendChatLine(std::string_view text);
