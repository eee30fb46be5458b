// Texts brought into the ANSI code page: which bytes count as UTF-8, and what Windows'
// conversions make of characters the code page has and lacks.
#include "host/codepage.h"

#include "harness.h"

namespace {

constexpr LCID ruRU = 0x0419, enUS = 0x0409;

TEST(IsUtf8WithNonAscii, TakesOnlyStrictUtf8ThatHoldsMoreThanAscii) {
  struct Case {
    std::string bytes;
    bool utf8;
  } cases[] = {
      {"", false},
      {"autoanswer-key=np\r\n", false},
      {"\xD0\xBD\xD0\xBF", true}, // нп
      {"key=\xC3\xBC", true},     // ü
      {"\xE2\x82\xAC", true},     // €
      {"\xF0\x9F\x8E\xB5", true}, // U+1F3B5, four bytes
      {"\xF4\x8F\xBF\xBF", true}, // U+10FFFF, the last character
      {"\xED\x9F\xBF", true},     // U+D7FF, just below the surrogates
      // Windows-1251 text: «Слушаю» is no UTF-8.
      {"\xD1\xEB\xF3\xF8\xE0\xFE", false},
      {"\xED\xEF", false}, // нп in Windows-1251
      {"\xC0\xAF", false}, // an overlong '/'
      {"\xC1\xBF", false},
      {"\xE0\x9F\xBF", false},     // an overlong three-byte form
      {"\xF0\x8F\xBF\xBF", false}, // an overlong four-byte form
      {"\xED\xA0\x80", false},     // a surrogate, U+D800
      {"\xED\xBF\xBF", false},     // U+DFFF
      {"\xF4\x90\x80\x80", false}, // above U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\xFF\xFE", false},
      {"\xD0", false}, // cut short at the end
      {"\xE2\x82", false},
      {"\xD0\xBD\xD0", false},
      {"\xD0\x41", false}, // a lead byte without its continuation
      {"\xBD", false},     // a continuation without its lead byte
      {"\xD0\xBD\xBD", false},
  };
  for (const Case &c : cases) EXPECT_EQ(isUtf8WithNonAscii(c.bytes), c.utf8) << hex(c.bytes);
}

// The simulated Win32 on a fresh machine, its system locale as each case names it.
class AnsiFrom : public ::testing::Test {
protected:
  void SetUp() override { sim::reset(); }
  void TearDown() override { sim::reset(); }
};

TEST_F(AnsiFrom, Utf8AndUtf16GiveTheCodePagesBytesAndALookAlikeOrQuestionMarkForWhatItLacks) {
  struct Case {
    LCID system;
    std::string utf8;
    std::wstring utf16;
    std::string ansi;
  } cases[] = {
      {ruRU, "np", L"np", "np"},
      {ruRU, "\xD0\xBD\xD0\xBF", L"\x043D\x043F", "\xED\xEF"},                       // нп
      {ruRU, "\xD0\x81\xD1\x91\xE2\x84\x96", L"\x0401\x0451\x2116", "\xA8\xB8\xB9"}, // Ёё№
      {ruRU, "J\xC3\xBCrgen", L"J\x00FCrgen", "Jurgen"}, // Windows' best fit
      {enUS, "J\xC3\xBCrgen", L"J\x00FCrgen", "J\xFCrgen"},
      {enUS, "\xD0\xBD\xD0\xBF", L"\x043D\x043F", "??"},
      // One question mark for each character, also for one of two UTF-16 units.
      {ruRU, "a\xF0\x9F\x8E\xB5-", L"a\xD83C\xDFB5-", "a?-"},
      // Lines stay lines: nothing is cut at a character the code page lacks, nor at a NUL.
      {ruRU, std::string("k=\xE4\xB8\xAD\r\n\0x=1", 11), std::wstring(L"k=\x4E2D\r\n\0x=1", 9),
       std::string("k=?\r\n\0x=1", 9)},
  };
  for (const Case &c : cases) {
    sim::setLocales(c.system, c.system);
    EXPECT_EQ(hex(ansiFromUtf8(c.utf8)), hex(c.ansi)) << hex(c.utf8);
    EXPECT_EQ(hex(ansiFromUtf16(c.utf16)), hex(c.ansi)) << hex(c.utf8);
  }
}

TEST_F(AnsiFrom, InvalidUtf8AndLoneSurrogatesBecomeQuestionMarksAndAnEmptyTextStaysEmpty) {
  EXPECT_EQ(ansiFromUtf8("a\xFF-\xD0"), "a?-?");
  EXPECT_EQ(ansiFromUtf16(L"a\xD800-\xDC00"), "a?-?");
  EXPECT_EQ(ansiFromUtf8(""), "");
  EXPECT_EQ(ansiFromUtf16(L""), "");
  // A file's name gets no look-alike, which could name another file.
  EXPECT_EQ(ansiPathFromUtf16(L"J\x00FCrgen.exe"), "J?rgen.exe");
}

// What the plug-in relies on of Windows' conversions, held by the simulation.
TEST_F(AnsiFrom, TheSimulatedConversionsRefuseAsWindowsDoes) {
  WCHAR wide[4];
  char ansi[4];
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", 0, wide, 4), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", 3, wide, 2), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  // A negative count converts the terminator too.
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "ab", -1, nullptr, 0), 3);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, L"ab", -1, ansi, 4, nullptr, nullptr), 3);
  EXPECT_STREQ(ansi, "ab");
  BOOL usedDefault = FALSE;
  EXPECT_EQ(
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, L"\x00FC", 1, ansi, 4, "*", &usedDefault),
      1);
  EXPECT_EQ(ansi[0], '*');
  EXPECT_EQ(usedDefault, TRUE);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, L"a", 1, ansi, 4, nullptr, &usedDefault), 0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_NO_BEST_FIT_CHARS, L"a", 1, ansi, 4, nullptr, nullptr),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

} // namespace
