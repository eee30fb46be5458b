// The settings file: reading it, and applying its key=value lines.
#include "harness.h"

#include "host/version.h"
#include "settings/settings.h"
#include "tests/native_plugin.h"

#include <fstream>

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
