#pragma once
// Texts brought into the system's ANSI code page, in which the plug-in keeps every string: UTF-8
// as today's Notepad saves it, and UTF-16 as Windows' wide functions give it.
#include "host/win32.h"

#include <string>
#include <string_view>

// Valid UTF-8 (no overlong form, no surrogate, nothing above U+10FFFF) that holds at least one
// character outside ASCII: bytes that only UTF-8 explains. Touches no Win32.
bool isUtf8WithNonAscii(std::string_view bytes);
// A character the code page lacks becomes what Windows puts in its place ('?' or a look-alike);
// nothing is cut. Empty for an empty text, and for one too long for Windows' conversion.
std::string ansiFromUtf16(std::basic_string_view<WCHAR> text);
std::string ansiFromUtf8(std::string_view bytes);
// For a file's name: a character the code page lacks becomes '?', never a look-alike ("u" for
// "ü") that could name another file that exists; Windows takes no file name with a '?'.
std::string ansiPathFromUtf16(std::basic_string_view<WCHAR> text);
// Empty for an empty text, and for one too long for Windows' conversion.
std::basic_string<WCHAR> wideFromUtf8(std::string_view bytes);
