// Settings files of any bytes and any length through settingsTextOf, and texts through
// parseSettings, isYes and splitOff.
// Input: the settings file itself.
#include "fuzz/driver.h"
#include "host/codepage.h"
#include "settings/settings.h"

#include <algorithm>
#include <array>
#include <string>

namespace {

struct SwitchKey {
  std::string_view key;
  std::int32_t Settings::*field;
};
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

// A value that no line can store, so that an untouched field shows.
constexpr std::int32_t untouchedSwitch = 7;
constexpr std::string_view untouchedText = "\r\n";

// A text key takes the value of its last line: everything after the line's first "=", up to
// CR LF or the end; a line of the key alone gives the empty value.
void checkText(std::string_view text, std::string_view key, const std::string &value) {
  std::string_view expected = untouchedText;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find("\r\n", start);
    std::string_view line = text.substr(start, end == std::string_view::npos ? end : end - start);
    std::size_t equals = line.find('=');
    if (line.substr(0, equals) == key)
      expected = equals == std::string_view::npos ? "" : line.substr(equals + 1);
    if (end == std::string_view::npos) break;
    start = end + 2;
  }
  driver::expect(value == expected, "a text value is not that of its key's last line");
}

void checkParse(std::string_view text) {
  settings = Settings{};
  for (const SwitchKey &k : switchKeys) settings.*k.field = untouchedSwitch;
  settings.autoanswerKey = settings.customPlayer = settings.nowplayingFormat = settings.player =
      untouchedText;
  parseSettings(text);
  for (const SwitchKey &k : switchKeys) {
    std::int32_t v = settings.*k.field;
    driver::expect(v == 0 || v == -1 || v == untouchedSwitch, "a switch neither 0 nor -1");
    bool mentioned = text.find(k.key) != std::string_view::npos;
    driver::expect(mentioned || v == untouchedSwitch, "a switch changed by no line of its key");
  }
  checkText(text, "autoanswer-key", settings.autoanswerKey);
  checkText(text, "custom-player", settings.customPlayer);
  checkText(text, "nowplaying-format", settings.nowplayingFormat);
  checkText(text, "player", settings.player);
  settings = Settings{};
}

void checkIsYes(std::string_view value) {
  bool yes = value.size() == 3 && (value[0] | 0x20) == 'y' && (value[1] | 0x20) == 'e' &&
             (value[2] | 0x20) == 's';
  driver::expect(isYes(value) == yes, "isYes disagrees with \"yes\" in any case");
}

void checkSplitOff(std::string_view separator, std::string_view text) {
  std::string_view rest = text;
  std::string_view front = splitOff(separator, rest);
  std::size_t at = text.find(separator);
  if (at == std::string_view::npos) {
    driver::expect(front == text && rest.empty(), "splitOff without a separator");
    return;
  }
  driver::expect(front == text.substr(0, at) && rest == text.substr(at + separator.size()),
                 "splitOff did not cut at the first separator");
}

// The bytes that stand for themselves in every code page: ASCII but the question mark, which
// stands in for what the code page lacks.
std::string plainAscii(std::string_view bytes, std::size_t step) {
  std::string out;
  for (std::size_t i = 0; i + step <= bytes.size(); i += step) {
    auto c = static_cast<unsigned char>(bytes[i]);
    bool high = step == 2 && bytes[i + 1] != 0;
    if (c < 0x80 && c != '?' && !high) out.push_back(static_cast<char>(c));
  }
  return out;
}

// The source's ASCII, in its order, within the converted text's, which may hold look-alike
// letters besides (Windows' best fit for what the code page lacks), but no line more.
bool keptInOrder(const std::string &source, const std::string &converted) {
  auto lines = [](const std::string &s) { return std::count(s.begin(), s.end(), '\n'); };
  std::size_t at = 0;
  for (char c : converted)
    if (at < source.size() && c == source[at]) ++at;
  return at == source.size() && lines(source) == lines(converted);
}

// A converted file keeps every line and every ASCII byte, in their order; any other file is
// read as it is.
void checkDecoding(std::string_view bytes) {
  std::string text = settingsTextOf(std::string(bytes));
  if (bytes.starts_with("\xFF\xFE")) {
    driver::expect(keptInOrder(plainAscii(bytes.substr(2), 2), plainAscii(text, 1)),
                   "UTF-16 converted with ASCII lost, added or moved");
  } else if (bytes.starts_with("\xEF\xBB\xBF") || isUtf8WithNonAscii(bytes)) {
    std::string_view body = bytes.starts_with("\xEF\xBB\xBF") ? bytes.substr(3) : bytes;
    driver::expect(keptInOrder(plainAscii(body, 1), plainAscii(text, 1)),
                   "UTF-8 converted with ASCII lost, added or moved");
  } else {
    driver::expect(text == bytes, "a file that is no UTF was changed");
  }
  checkParse(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char *>(data), size);
  checkParse(text);
  checkDecoding(text);
  checkIsYes(text);
  checkIsYes(text.substr(0, 3));
  checkIsYes(text.substr(text.find('=') + 1));
  for (std::string_view separator : {"\r\n", "=", " - Winamp", ""}) checkSplitOff(separator, text);
  return 0;
}
