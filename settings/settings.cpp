#include "settings/settings.h"

#include "host/codepage.h"
#include "host/file.h"

#include <array>
#include <new>
#include <utility>

Settings settings;

namespace {

struct SwitchKey {
  std::string_view key;
  std::int32_t Settings::*field;
};

// In the order the keys are tested.
constexpr std::array<SwitchKey, 10> switchKeys{{
    {"button-send", &Settings::buttonSend},
    {"button-prev", &Settings::buttonPrev},
    {"button-rew", &Settings::buttonRew},
    {"button-play", &Settings::buttonPlay},
    {"button-fwd", &Settings::buttonFwd},
    {"button-next", &Settings::buttonNext},
    {"button-open", &Settings::buttonOpen},
    {"button-mute", &Settings::buttonMute},
    {"button-v_dn", &Settings::buttonVDn},
    {"button-v_up", &Settings::buttonVUp},
}};

struct TextKey {
  std::string_view key;
  std::string Settings::*field;
};

constexpr std::array<TextKey, 4> textKeys{{
    {"autoanswer-key", &Settings::autoanswerKey},
    {"custom-player", &Settings::customPlayer},
    {"nowplaying-format", &Settings::nowplayingFormat},
    {"player", &Settings::player},
}};

void applyLine(std::string_view line) {
  std::string_view key = splitOff("=", line);
  for (const SwitchKey &k : switchKeys)
    if (key == k.key) {
      settings.*k.field = isYes(line) ? -1 : 0;
      return;
    }
  for (const TextKey &k : textKeys)
    if (key == k.key) {
      settings.*k.field = line;
      return;
    }
}

// The one line whose value is a file's name; the parser takes its key as it stands.
constexpr std::basic_string_view<WCHAR> pathLine = L"custom-player=";

// Today's Notepad saves UTF-8, and UTF-16 as "Unicode".
constexpr std::string_view utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view utf16Mark = "\xFF\xFE";

// Little-endian pairs of bytes; an odd last byte is no unit.
std::basic_string<WCHAR> utf16Units(std::string_view bytes) {
  std::basic_string<WCHAR> units(bytes.size() / 2, L'\0');
  for (std::size_t i = 0; i < units.size(); ++i)
    units[i] = static_cast<WCHAR>(static_cast<unsigned char>(bytes[2 * i]) |
                                  static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  return units;
}

// Line by line: the player's path without best fit, so that a character the code page lacks
// cannot make it the name of another program; every other line as Windows converts text.
std::string ansiLines(std::basic_string_view<WCHAR> text) {
  std::string ansi;
  for (;;) {
    std::size_t end = text.find(L"\r\n");
    std::basic_string_view<WCHAR> line = text.substr(0, end);
    ansi += line.starts_with(pathLine) ? ansiPathFromUtf16(line) : ansiFromUtf16(line);
    if (end == text.npos) return ansi;
    ansi += "\r\n";
    text.remove_prefix(end + 2);
  }
}

// The whole of an open file as the parser's text; the empty text when it cannot be read.
std::string readWhole(const ReadOnlyFile &file) {
  DWORD size = GetFileSize(file.handle, nullptr);
  if (size == INVALID_FILE_SIZE) return {};
  try {
    std::string text(size, '\0');
    DWORD read = 0;
    if (!ReadFile(file.handle, text.data(), size, &read, nullptr)) return {};
    // A file that shrank meanwhile gives what it still holds, never trailing zeros.
    text.resize(read);
    return settingsTextOf(std::move(text));
  } catch (...) {
    // A file too large to hold (more than the heap gives, or more than a string of the 32-bit
    // build can be), or to convert, reads like one that cannot be read: the settings keep
    // their values.
    return {};
  }
}

// The DLL's own full name with its file name replaced by the settings file's; empty when the
// name cannot be had whole. The wide name spells every folder as it is, where the ANSI one
// would give '?' or a look-alike for a character outside the code page.
std::wstring besideDllPath() {
  WCHAR name[MAX_PATH];
  DWORD length = GetModuleFileNameW(thisModule(), name, MAX_PATH);
  // A name that fills the buffer may be cut, and Windows XP leaves it unterminated then.
  if (length == 0 || length >= MAX_PATH) return {};
  std::wstring_view dll(name, length);
  return std::wstring(dll.substr(0, dll.rfind(L'\\') + 1)).append(settingsFileName);
}

} // namespace

std::string readSettingsFile() {
  ReadOnlyFile file(settingsPath);
  if (file.isOpen()) return readWhole(file);
  std::wstring beside = besideDllPath();
  if (beside.empty()) return {};
  ReadOnlyFile besideFile(beside.c_str());
  if (!besideFile.isOpen()) return {};
  return readWhole(besideFile);
}

std::string settingsTextOf(std::string bytes) {
  std::string_view b = bytes;
  if (b.starts_with(utf8Mark)) return ansiLines(wideFromUtf8(b.substr(utf8Mark.size())));
  if (b.starts_with(utf16Mark)) return ansiLines(utf16Units(b.substr(utf16Mark.size())));
  if (isUtf8WithNonAscii(b)) return ansiLines(wideFromUtf8(b));
  return bytes;
}

std::wstring settingsFileBesideDllInUse() {
  if (ReadOnlyFile(settingsPath).isOpen()) return {};
  std::wstring beside = besideDllPath();
  if (beside.empty() || !ReadOnlyFile(beside.c_str()).isOpen()) return {};
  return beside;
}

void parseSettings(std::string_view text) {
  while (!text.empty()) {
    std::string_view line = splitOff("\r\n", text);
    try {
      applyLine(line);
    } catch (const std::bad_alloc &) {
      // A value too large to keep leaves its field as it was; the other lines still count.
    }
  }
}

std::string_view splitOff(std::string_view separator, std::string_view &s) {
  std::size_t p = s.find(separator);
  if (p == std::string_view::npos) return std::exchange(s, {});
  std::string_view front = s.substr(0, p);
  s.remove_prefix(p + separator.size());
  return front;
}

bool isYes(std::string_view value) {
  // Case folding keeps the length, so only three bytes can match; the test also keeps a huge
  // value from reaching the comparison as a negative (terminated) length. The file is in the
  // system's ANSI code page, like the keyword.
  return value.size() == 3 && CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, value.data(),
                                             3, "yes", 3) == CSTR_EQUAL;
}
