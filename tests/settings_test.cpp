// The settings file: reading it, and applying its key=value lines.
#include "harness.h"

#include "host/version.h"
#include "settings/settings.h"
#include "tests/native_plugin.h"

#include <algorithm>
#include <fstream>
#include <tuple>

namespace {

TEST(SplitOff, CutsAtTheFirstSeparator) {
  struct Case {
    std::string_view text, separator, front, rest;
  } cases[] = {
      {"key=v=w", "=", "key", "v=w"}, {"key", "=", "key", ""},
      {"=x", "=", "", "x"},           {"", "=", "", ""},
      {"a\r\nb", "\r\n", "a", "b"},   {"a\rb\nc", "\r\n", "a\rb\nc", ""},
      {"a\r\n", "\r\n", "a", ""},
  };
  for (const Case &c : cases) {
    std::string_view rest = c.text;
    EXPECT_EQ(splitOff(c.separator, rest), c.front) << c.text;
    EXPECT_EQ(rest, c.rest) << c.text;
  }
}

using SettingsFile = NativePluginTest;

TEST_F(SettingsFile, SwitchesAreOnOnlyForYesInAnyCase) {
  struct Case {
    std::string line;
    std::int32_t play;
  } cases[] = {
      {"button-play=yes", -1}, {"button-play=YES", -1}, {"button-play=Yes", -1},
      {"button-play=1", 0},    {"button-play=true", 0}, {"button-play=on", 0},
      {"button-play=yes ", 0}, {"button-play=", 0},     {"button-play", 0},
      {"button-play=yess", 0}, {"button-play=ye", 0},
  };
  for (const Case &c : cases) {
    settings.buttonPlay = 7;
    parseSettings(c.line);
    EXPECT_EQ(settings.buttonPlay, c.play) << c.line;
  }
}

TEST_F(SettingsFile, UnknownKeysChangeNothing) {
  for (std::string line : {"button-play = yes", "Button-Play=yes", "[Settings]", "; comment", "",
                           "\xEF\xBB\xBF"
                           "button-play=yes",
                           "button-play\t=yes"}) {
    settings.buttonPlay = 7;
    parseSettings(line);
    EXPECT_EQ(settings.buttonPlay, 7) << line;
  }
}

TEST_F(SettingsFile, EveryKeyReachesItsOwnField) {
  parseSettings("button-send=yes\r\nbutton-prev=yes\r\nbutton-rew=yes\r\nbutton-play=yes\r\n"
                "button-fwd=yes\r\nbutton-next=yes\r\nbutton-open=yes\r\nbutton-mute=yes\r\n"
                "button-v_dn=yes\r\nbutton-v_up=yes\r\nautoanswer-key= np \r\n"
                "custom-player=C:\\a=b\\p.exe\r\n");
  for (std::int32_t Settings::*s :
       {&Settings::buttonSend, &Settings::buttonPrev, &Settings::buttonRew, &Settings::buttonPlay,
        &Settings::buttonFwd, &Settings::buttonNext, &Settings::buttonOpen, &Settings::buttonMute,
        &Settings::buttonVDn, &Settings::buttonVUp})
    EXPECT_EQ(settings.*s, -1);
  EXPECT_EQ(settings.autoanswerKey, " np ");
  EXPECT_EQ(settings.customPlayer, "C:\\a=b\\p.exe");
}

TEST_F(SettingsFile, LinesEndWithCrLfOnlyAndTheLastOneWins) {
  parseSettings("button-send=yes\r\nbutton-next=yes\r\nbutton-send=no");
  EXPECT_EQ(settings.buttonSend, 0);
  EXPECT_EQ(settings.buttonNext, -1);
  // With LF alone the file is one line whose value runs to its end.
  parseSettings("button-prev=yes\nbutton-fwd=yes\n");
  EXPECT_EQ(settings.buttonPrev, 0);
  EXPECT_EQ(settings.buttonFwd, 0);
  parseSettings("autoanswer-key=a\rb\r\n");
  EXPECT_EQ(settings.autoanswerKey, "a\rb");
}

TEST_F(SettingsFile, NoFileOrAnEmptyFileGivesTheDefaults) {
  for (bool withFile : {false, true}) {
    unloadNativePlugin();
    if (withFile) writeSettings("");
    deliver(initialiseEvent());
    EXPECT_EQ(settings.buttonPlay, 0);
    EXPECT_EQ(settings.autoanswerKey, "");
    EXPECT_EQ(settings.customPlayer, "C:\\Program Files\\Winamp\\Winamp.exe");
    EXPECT_TRUE(messenger().requests.empty());
  }
}

TEST_F(SettingsFile, AnEmptyPlayerPathTakesTheDefault) {
  initialiseWith("custom-player=");
  EXPECT_EQ(settings.customPlayer, "C:\\Program Files\\Winamp\\Winamp.exe");
  initialiseWith("custom-player=D:\\Apps\\player.exe");
  EXPECT_EQ(settings.customPlayer, "D:\\Apps\\player.exe");
}

TEST_F(SettingsFile, ALaterInitialiseKeepsWhatTheFileNoLongerSays) {
  initialiseWith("button-play=yes\r\nautoanswer-key=np");
  std::filesystem::remove("plugins/QUIB_Ctl.ini");
  deliver(initialiseEvent());
  EXPECT_EQ(settings.buttonPlay, -1);
  EXPECT_EQ(settings.autoanswerKey, "np");
}

TEST_F(SettingsFile, TheFileIsOpenedForReadingOnlyAndSharedWithOthers) {
  writeSettings("button-mute=yes");
  sim::denyWriteAccess(".\\plugins\\QUIB_Ctl.ini");
  EXPECT_EQ(readSettingsFile(), "button-mute=yes");
  ASSERT_EQ(sim::fileOpens().size(), 1u);
  const sim::FileOpen &open = sim::fileOpens()[0];
  EXPECT_EQ(open.path, ".\\plugins\\QUIB_Ctl.ini");
  EXPECT_EQ(open.access, GENERIC_READ);
  EXPECT_EQ(open.share, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(open.disposition, OPEN_EXISTING);
}

TEST_F(SettingsFile, AFailedReadGivesTheEmptyText) {
  writeSettings("button-mute=yes");
  sim::failReads(".\\plugins\\QUIB_Ctl.ini");
  EXPECT_EQ(readSettingsFile(), "");
}

TEST_F(SettingsFile, TheWholeFileIsReadWhateverItHolds) {
  std::string text = "autoanswer-key=" + std::string(300000, 'k') + std::string("\0\xFF", 2);
  writeSettings(text);
  EXPECT_EQ(readSettingsFile(), text);
  std::filesystem::remove("plugins/QUIB_Ctl.ini");
  // A folder where the file should be is no settings file.
  std::filesystem::create_directories("plugins/QUIB_Ctl.ini");
  EXPECT_EQ(readSettingsFile(), "");
}

} // namespace

namespace {

const std::string twoButtons = "button-play=yes\r\nbutton-mute=yes\r\nautoanswer-key=np";

using SettingsFileSize = PluginTest;

// A size no string of the 32-bit build can take (nor a block of the test's own heap, see
// address_space.cpp): initialise goes on as for a file that cannot be read.
TEST_P(SettingsFileSize, AFileTooLargeToHoldKeepsTheEarlierSettingsAndInitialiseAnswers) {
  initialiseWith(twoButtons);
  deliver(model::finaliseEvent());
  const std::string usual = model::initialiseAnswer(QUIB_PRODUCT_NAME ", v" QUIB_VERSION);
  for (DWORD size : {DWORD{0x80000000}, DWORD{0xFFFFFFFE}}) {
    messenger().requests.clear();
    writeSettings("button-send=yes");
    sim::reportFileSize(".\\plugins\\QUIB_Ctl.ini", size);
    EXPECT_EQ(hex(deliver(initialiseEvent())), hex(usual)) << size;
    EXPECT_EQ(requestKinds(), (std::vector<std::string>{"addButton", "addButton"})) << size;
    EXPECT_EQ(sim::openFiles(), 0) << size;
    deliver(model::finaliseEvent());
  }
}

// A file that shrank between its size and its reading: only the bytes read count, so no zero
// bytes trail the keyword.
TEST_P(SettingsFileSize, AFileThatYieldsFewerBytesThanItsSizeGivesJustThoseBytes) {
  writeSettings("autoanswer-key=np");
  sim::reportFileSize(".\\plugins\\QUIB_Ctl.ini", 4096);
  deliver(initialiseEvent());
  EXPECT_EQ(hex(deliver(messageEvent(9, "np"))), "01 00 00 00 04");
}

ON_BOTH_BUILDS(SettingsFileSize);

} // namespace

namespace {

// The messenger started from another folder: its own folder, with the plug-in and its settings
// in its plugins folder, lies elsewhere, under a name with spaces as under Program Files.
class SettingsBesideTheDll : public PluginTest {
protected:
  std::filesystem::path plugins;
  std::string besideName;
  void SetUp() override {
    PluginTest::SetUp();
    plugins = std::filesystem::current_path() / "Program Files" / "Messenger" / "plugins";
    besideName = windowsName(plugins / "QUIB_Ctl.ini");
    std::filesystem::create_directories(plugins);
    sim::setModuleFileName(thisModule(), windowsName(plugins / "QUIB_Ctl.dll"));
  }
  // A full name as Windows spells it, for a file the simulated Win32 finds on the Linux one.
  static std::string windowsName(const std::filesystem::path &path) {
    std::string name = path.string();
    std::replace(name.begin(), name.end(), '/', '\\');
    return name;
  }
  static void write(const std::filesystem::path &file, const std::string &text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
  }
  // Which settings file initialise read, told by the keyword it set.
  static bool isKeyword(const std::string &text) {
    return hex(deliver(messageEvent(9, text))) == "01 00 00 00 04";
  }
  static std::vector<std::string> opened() {
    std::vector<std::string> paths;
    for (const sim::FileOpen &f : sim::fileOpens()) {
      EXPECT_EQ(std::make_tuple(f.access, f.share, f.disposition),
                std::make_tuple(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING));
      paths.push_back(f.path);
    }
    return paths;
  }
  static void expectNotepadOn(const std::string &parameters) {
    sim::shellCalls().clear();
    EXPECT_EQ(deliverAt(event(3, 3)), 0u);
    ASSERT_EQ(sim::shellCalls().size(), 1u);
    const sim::ShellCall &c = sim::shellCalls()[0];
    EXPECT_EQ(std::tie(c.owner, c.operation, c.file, c.parameters, c.directory, c.showCommand),
              std::make_tuple(nullptr, "open", systemNotepad, parameters, "", SW_SHOWNORMAL));
    EXPECT_TRUE(c.wide);
  }
};

TEST_P(SettingsBesideTheDll, AreReadWhenTheCurrentFolderHasNoneAndPreferencesOpenThem) {
  write(plugins / "QUIB_Ctl.ini", "button-play=yes\r\nautoanswer-key=dll");
  EXPECT_EQ(hex(deliver(initialiseEvent())),
            hex(model::initialiseAnswer(QUIB_PRODUCT_NAME ", v" QUIB_VERSION)));
  EXPECT_EQ(requestKinds(), std::vector<std::string>{"addButton"});
  EXPECT_TRUE(isKeyword("dll"));
  EXPECT_EQ(opened(), (std::vector<std::string>{".\\plugins\\QUIB_Ctl.ini", besideName}));
  expectNotepadOn('"' + besideName + '"');
}

TEST_P(SettingsBesideTheDll, TheCurrentFoldersFileWinsAndPreferencesOpenItAsAlways) {
  write(plugins / "QUIB_Ctl.ini", "autoanswer-key=dll");
  initialiseWith("autoanswer-key=current");
  EXPECT_TRUE(isKeyword("current"));
  EXPECT_EQ(opened(), std::vector<std::string>{".\\plugins\\QUIB_Ctl.ini"});
  expectNotepadOn(".\\Plugins\\QUIB_Ctl.ini");
}

TEST_P(SettingsBesideTheDll, WithNeitherFileNothingIsReadAndPreferencesOpenTheCurrentFolders) {
  deliver(initialiseEvent());
  EXPECT_TRUE(messenger().requests.empty());
  EXPECT_EQ(opened(), (std::vector<std::string>{".\\plugins\\QUIB_Ctl.ini", besideName}));
  expectNotepadOn(".\\Plugins\\QUIB_Ctl.ini");
  // Nothing was written.
  EXPECT_FALSE(std::filesystem::exists(plugins / "QUIB_Ctl.ini"));
  EXPECT_FALSE(std::filesystem::exists("plugins"));
}

// GetModuleFileNameW fills a buffer of MAX_PATH (260) characters: a name of 259 fits with its
// terminator; a longer one is cut, and the cut name would lead to another folder.
TEST_P(SettingsBesideTheDll, AModuleNameThatDoesNotFitTheBufferCountsAsNone) {
  const std::filesystem::path base = std::filesystem::current_path() / "m";
  const std::size_t prefix = windowsName(base).size() + 1;
  const std::string dllName = "\\QUIB_Ctl.dll";
  const std::filesystem::path fits = base / std::string(259 - prefix - dllName.size(), 'a');
  const std::filesystem::path fillsTheBuffer =
      base / std::string(260 - prefix - dllName.size(), 'b');
  const std::filesystem::path outer = base / std::string(230 - prefix, 'c');
  const std::filesystem::path cut = outer / std::string(100, 'd');
  write(fits / "QUIB_Ctl.ini", "autoanswer-key=fits");
  write(fillsTheBuffer / "QUIB_Ctl.ini", "autoanswer-key=fills");
  write(cut / "QUIB_Ctl.ini", "autoanswer-key=whole");
  write(outer / "QUIB_Ctl.ini", "autoanswer-key=cut");
  ASSERT_EQ(windowsName(fits / "QUIB_Ctl.dll").size(), 259u);
  ASSERT_EQ(windowsName(fillsTheBuffer / "QUIB_Ctl.dll").size(), 260u);
  struct Case {
    std::filesystem::path folder;
    std::string keyword; // empty: no settings file read, and the keyword stays empty
  } cases[] = {{fillsTheBuffer, ""}, {cut, ""}, {fits, "fits"}};
  for (const Case &c : cases) {
    sim::setModuleFileName(thisModule(), windowsName(c.folder / "QUIB_Ctl.dll"));
    sim::fileOpens().clear();
    deliver(initialiseEvent());
    for (const char *keyword : {"fits", "fills", "whole", "cut"})
      EXPECT_EQ(isKeyword(keyword), keyword == c.keyword) << keyword;
    std::vector<std::string> expected{".\\plugins\\QUIB_Ctl.ini"};
    if (!c.keyword.empty()) expected.push_back(windowsName(c.folder / "QUIB_Ctl.ini"));
    EXPECT_EQ(opened(), expected) << c.keyword;
    expectNotepadOn(c.keyword.empty() ? ".\\Plugins\\QUIB_Ctl.ini"
                                      : '"' + windowsName(c.folder / "QUIB_Ctl.ini") + '"');
  }
}

// A folder whose name Windows-1251 cannot spell, as C:\Users\Jürgen or one in Greek letters:
// GetModuleFileNameA would give «J?rgen», a folder that is not there.
TEST_P(SettingsBesideTheDll, AreFoundInAFolderWhoseNameTheCodePageLacks) {
  plugins = std::filesystem::current_path() / "J\xC3\xBCrgen \xCE\xA9\xCE\xB4\xCE\xAE" / "plugins";
  besideName = windowsName(plugins / "QUIB_Ctl.ini");
  sim::setModuleFileName(thisModule(), windowsName(plugins / "QUIB_Ctl.dll"));
  write(plugins / "QUIB_Ctl.ini", "button-play=yes\r\nautoanswer-key=dll");
  deliver(initialiseEvent());
  EXPECT_EQ(requestKinds(), std::vector<std::string>{"addButton"});
  EXPECT_TRUE(isKeyword("dll"));
  EXPECT_EQ(opened(), (std::vector<std::string>{".\\plugins\\QUIB_Ctl.ini", besideName}));
  EXPECT_TRUE(sim::fileOpens().back().wide);
  expectNotepadOn('"' + besideName + '"');
}

ON_BOTH_BUILDS(SettingsBesideTheDll);

} // namespace

namespace {

// Notepad saves ANSI (Windows-1251 here), UTF-8 with or without its mark, and UTF-16 with its
// mark as "Unicode". Each holds the keyword «нп» and the line «Слушаю ♪: %track%», whose note
// Windows-1251 lacks.
const std::wstring typed =
    L"button-play=yes\r\nautoanswer-key=\x043D\x043F\r\n"
    L"nowplaying-format=\x0421\x043B\x0443\x0448\x0430\x044E \x266A: %track%";
const std::string typedUtf8 = "button-play=yes\r\nautoanswer-key=\xD0\xBD\xD0\xBF\r\n"
                              "nowplaying-format=\xD0\xA1\xD0\xBB\xD1\x83\xD1\x88\xD0\xB0\xD1\x8E "
                              "\xE2\x99\xAA: %track%";
const std::string typedAnsi = "button-play=yes\r\nautoanswer-key=\xED\xEF\r\n"
                              "nowplaying-format=\xD1\xEB\xF3\xF8\xE0\xFE ?: %track%";

std::string utf16le(std::wstring_view text) {
  std::string out;
  for (WCHAR unit : text) out += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return out;
}

using SettingsFileEncoding = PluginTest;

TEST_P(SettingsFileEncoding, UtfFilesAreReadInTheCodePageWithTheirFirstKeyAndOthersAsTheyAre) {
  struct Case {
    const char *what;
    std::string file;
  } cases[] = {
      {"UTF-8 with its mark", "\xEF\xBB\xBF" + typedUtf8},
      {"UTF-8 without a mark", typedUtf8},
      {"UTF-16 with its mark", "\xFF\xFE" + utf16le(typed)},
      {"Windows-1251", typedAnsi},
  };
  sim::addWindow("Winamp v1.x", "Some Song - Winamp",
                 [](UINT m, WPARAM, LPARAM l) { return LRESULT{m == WM_USER && l == 104}; });
  for (const Case &c : cases) {
    messenger().requests.clear();
    initialiseWith(c.file);
    EXPECT_EQ(requestKinds(), std::vector<std::string>{"addButton"}) << c.what;
    deliver(model::finaliseEvent());
    messenger().requests.clear();
    EXPECT_EQ(hex(deliver(messageEvent(9, "\xCD\xCF"))), "01 00 00 00 04") << c.what;
    ASSERT_EQ(requestKinds(), std::vector<std::string>{"sendMessage"}) << c.what;
    EXPECT_EQ(hex(messenger().requests[0].text), hex("\xD1\xEB\xF3\xF8\xE0\xFE ?: Some Song"))
        << c.what;
  }
}

// Bytes that are not UTF-8 throughout, or hold nothing but ASCII, are read as they are.
TEST_P(SettingsFileEncoding, AFileThatIsNotUtf8ThroughoutIsReadAsItIs) {
  // «нп» in UTF-8, then «нп» in Windows-1251 on the next line.
  initialiseWith("autoanswer-key=\xD0\xBD\xD0\xBF\r\nautoanswer-key=\xED\xEF");
  EXPECT_EQ(hex(deliver(messageEvent(9, "\xED\xEF"))), "01 00 00 00 04");
}

TEST_P(SettingsFileEncoding, APlayerPathSavedInUtf8NamesTheProgramThatIsThere) {
  // «Плеер\winamp.exe» below the current folder, as the Linux file system spells it.
  const std::string folder = "\xD0\x9F\xD0\xBB\xD0\xB5\xD0\xB5\xD1\x80";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "/winamp.exe") << "MZ";
  initialiseWith("button-play=yes\r\ncustom-player=" + folder + "\\winamp.exe");
  press(0);
  ASSERT_FALSE(sim::shellCalls().empty());
  EXPECT_EQ(hex(sim::shellCalls()[0].file), hex("\xCF\xEB\xE5\xE5\xF0\\winamp.exe"));
  // «Jürgen», which code page 1251 lacks: the look-alike «Jurgen» is another program.
  std::filesystem::create_directories("Jurgen");
  std::ofstream("Jurgen/winamp.exe") << "MZ";
  sim::shellCalls().clear();
  std::size_t boxes = sim::messageBoxes().size();
  initialiseWith("button-play=yes\r\ncustom-player=J\xC3\xBCrgen\\winamp.exe");
  press(0);
  EXPECT_TRUE(sim::shellCalls().empty());
  EXPECT_EQ(sim::messageBoxes().size(), boxes + 1);
}

ON_BOTH_BUILDS(SettingsFileEncoding);

} // namespace
