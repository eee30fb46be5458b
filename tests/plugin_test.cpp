// The entry point as the messenger sees it: events in, framed answers and requests out.
#include "harness.h"

#include "host/version.h"

namespace {

using Dispatch = PluginTest;

const std::string initialiseAnswer = model::initialiseAnswer(QUIB_PRODUCT_NAME ", v" QUIB_VERSION);

TEST_P(Dispatch, InitialiseWithEverySwitchOffAnswersItsNameAndVersionAndRequestsNothing) {
  EXPECT_EQ(hex(initialiseWith("")), hex(initialiseAnswer));
  EXPECT_TRUE(messenger().requests.empty());
}

// A player with a caption long enough for the now-playing line, so that a message equal to the
// keyword makes a request whenever the plug-in holds a callback.
void startPlayer() {
  sim::addWindow("Winamp v1.x", "123456789012 - Winamp",
                 [](UINT, WPARAM, LPARAM) { return LRESULT{1}; });
}

const std::string handledAnswer = bytes({1, 0, 0, 0, 0x04});

TEST_P(Dispatch, RefusedRecordsAnswerNullAndLeaveTheCallbackAlone) {
  EXPECT_EQ(plugin().pluginFunWithNull(), 0u);
  const std::string refused[] = {
      std::string(4, '\0') + initialiseEvent().substr(4), // length word 0
      event(2, 1, model::le32(callbackAddress())),
      event(4, 1, model::le32(callbackAddress())),
      event(3, 0),
      event(3, 4),
      event(3, 5),
      event(3, 7),
      event(3, 255),
  };
  for (const std::string &record : refused) EXPECT_EQ(deliverAt(record), 0u) << hex(record);
  EXPECT_TRUE(sim::shellCalls().empty());
  // No callback was kept: the empty keyword's report goes nowhere.
  startPlayer();
  EXPECT_EQ(hex(deliver(messageEvent(7, ""))), hex(handledAnswer));
  EXPECT_TRUE(messenger().requests.empty());
}

TEST_P(Dispatch, FinaliseAndPreferencesAnswerNull) {
  initialiseWith("");
  EXPECT_EQ(deliverAt(event(3, 2)), 0u);
  EXPECT_EQ(deliverAt(event(3, 3)), 0u);
}

TEST_P(Dispatch, PreferencesStartNotepadOnTheSettingsFile) {
  deliver(event(3, 3));
  ASSERT_EQ(sim::shellCalls().size(), 1u);
  const sim::ShellCall &call = sim::shellCalls()[0];
  EXPECT_EQ(call.owner, nullptr);
  EXPECT_EQ(call.operation, "open");
  EXPECT_EQ(call.file, systemNotepad);
  EXPECT_EQ(call.parameters, ".\\Plugins\\QUIB_Ctl.ini");
  EXPECT_EQ(call.directory, "");
  EXPECT_EQ(call.showCommand, SW_SHOWNORMAL);
}

TEST_P(Dispatch, AnAnswerStaysInTheReplyBufferUntilTheNextRecord) {
  std::uintptr_t first = deliverAt(initialiseEvent());
  EXPECT_EQ(hex(plugin().framedAt(first)), hex(initialiseAnswer));
  // The one reply buffer takes the next answer in the same place.
  EXPECT_EQ(deliverAt(messageEvent(5, "x")), first);
  EXPECT_EQ(hex(plugin().framedAt(first)), hex(bytes({6, 0, 0, 0, 0x02, 1, 0, 0, 0, 'x'})));
}

TEST_P(Dispatch, EventsShorterThanTheirFieldsReadZerosAndNothingBeyond) {
  // Initialise announcing two bytes: the callback field lies outside and reads as null, so
  // the button is registered with nobody.
  writeSettings("autoanswer-key=np\r\nbutton-mute=yes");
  std::string shortInit = bytes({2, 0, 0, 0, 3, 1, 0x11, 0x22, 0x33, 0x44});
  EXPECT_EQ(hex(deliver(shortInit)), hex(initialiseAnswer));
  EXPECT_TRUE(messenger().requests.empty());
  // A message whose text announces more bytes than the record holds reads as empty.
  std::string msg = messageEvent(9, "hello");
  std::string cut =
      model::le32(static_cast<std::uint32_t>(msg.size() - 5)) + msg.substr(4, msg.size() - 5);
  EXPECT_EQ(hex(deliver(cut)), hex(bytes({5, 0, 0, 0, 0x02, 0, 0, 0, 0})));
}

TEST_P(Dispatch, NoRequestIsMadeBeforeInitialise) {
  startPlayer();
  // Before initialise the keyword is empty, and so is this message.
  EXPECT_EQ(hex(deliver(messageEvent(7, "  "))), hex(handledAnswer));
  EXPECT_TRUE(messenger().requests.empty());
}

TEST_P(Dispatch, NullAnswersFromTheMessengerReadAsZero) {
  messenger().nullAnswers = true;
  initialiseWith("button-play=yes\r\nbutton-mute=yes");
  EXPECT_EQ(requestKinds(), (std::vector<std::string>{"addButton", "addButton"}));
  deliver(event(3, 2));
  // Both ids read as 0, so nothing is removed.
  EXPECT_EQ(messenger().requests.size(), 2u);
}

using Messages = PluginTest;

TEST_P(Messages, TextsThatAreNotTheKeywordComeBackStrippedOfSpaces) {
  initialiseWith("autoanswer-key=hello");
  struct Case {
    std::string text, answered;
  } cases[] = {
      {" hello there ", "hello there"},
      {"   ", ""},
      {"", ""},
      {"hello\t", "hello\t"},
      {"hello\r\n", "hello\r\n"},
      {"\thello", "\thello"},
      {"hello world", "hello world"},
      {std::string("he\0llo", 6), std::string("he\0llo", 6)},
  };
  for (const Case &c : cases) {
    std::string n = model::le32(static_cast<std::uint32_t>(c.answered.size()));
    std::string expected =
        model::le32(static_cast<std::uint32_t>(5 + c.answered.size())) + "\x02" + n + c.answered;
    EXPECT_EQ(hex(deliver(messageEvent(1, c.text))), hex(expected)) << c.text;
  }
  EXPECT_TRUE(messenger().requests.empty());
}

TEST_P(Messages, TheKeywordMatchesIgnoringCaseOfLatinAndCyrillicLetters) {
  struct Case {
    std::string key, text;
    bool match;
  } cases[] = {
      {"HELLO", "  hello  ", true},
      {"np", "NP", true},
      {"np", "np ", true},
      {"np", "n p", false},
      {"np", "np!", false},
      {"np", "n", false},
      // "трек" against "ТРЕК" and "ТрЕк", Windows-1251.
      {"\xF2\xF0\xE5\xEA", "\xD2\xD0\xC5\xCA", true},
      {"\xF2\xF0\xE5\xEA", "\xD2\xF0\xC5\xEA", true},
      // "ёлка" against "ЁЛКА".
      {"\xB8\xEB\xEA\xE0", "\xA8\xCB\xCA\xC0", true},
      // "трек" against "трак".
      {"\xF2\xF0\xE5\xEA", "\xF2\xF0\xE0\xEA", false},
      {"", "", true},
      {"", "   ", true},
      {"", "x", false},
  };
  for (const Case &c : cases) {
    initialiseWith("autoanswer-key=" + c.key);
    std::string expected = c.match ? hex(bytes({1, 0, 0, 0, 0x04})) : "";
    std::string answer = hex(deliver(messageEvent(1, c.text)));
    if (c.match)
      EXPECT_EQ(answer, expected) << hex(c.key) << " / " << hex(c.text);
    else
      EXPECT_NE(answer, hex(bytes({1, 0, 0, 0, 0x04}))) << hex(c.key) << " / " << hex(c.text);
  }
}

TEST_P(Messages, TheKeywordSendsTheReportToTheSenderBeforeTheAnswer) {
  initialiseWith("autoanswer-key=np");
  sim::addWindow("Winamp v1.x", "Some Song - Winamp", [](UINT, WPARAM wParam, LPARAM lParam) {
    if (lParam == 104) return LRESULT{1};
    return lParam == 126 ? LRESULT(wParam == 0 ? 44 : wParam == 1 ? 128 : 2) : LRESULT{0};
  });
  std::string answer = deliver(messageEvent(777, "NP"));
  EXPECT_EQ(hex(answer), hex(bytes({1, 0, 0, 0, 0x04})));
  ASSERT_EQ(requestKinds(), std::vector<std::string>{"sendMessage"});
  EXPECT_EQ(messenger().requests[0].idOrContact, 777);
  EXPECT_EQ(messenger().requests[0].text, ">Winamp: Some Song (44KHz/128kbps/stereo)");
}

constexpr LCID ruRU = 0x0419, deDE = 0x0407, enUS = 0x0409;

// Windows-1251's pairs of capital and small letters; all but the 32 of А-Я.
const std::pair<int, int> cyrillicPairs[] = {{0x80, 0x90}, {0x81, 0x83}, {0x8A, 0x9A}, {0x8C, 0x9C},
                                             {0x8D, 0x9D}, {0x8E, 0x9E}, {0x8F, 0x9F}, {0xA1, 0xA2},
                                             {0xA3, 0xBC}, {0xA5, 0xB4}, {0xA8, 0xB8}, {0xAA, 0xBA},
                                             {0xAF, 0xBF}, {0xB2, 0xB3}, {0xBD, 0xBE}};

// The machine as the fault needs it: Russian for non-Unicode programs, German regional formats.
// Locale 0 then folds in Windows-1252, where 14 of these pairs are no pairs.
TEST(SimulatedWin32, ComparesInTheCodePageOfTheLocaleItIsGiven) {
  sim::reset();
  sim::setLocales(ruRU, deDE);
  int unequal[2] = {0, 0};
  std::vector<std::pair<int, int>> pairs(std::begin(cyrillicPairs), std::end(cyrillicPairs));
  for (int c = 0xC0; c < 0xE0; ++c) pairs.emplace_back(c, c + 0x20);
  for (auto [capital, small] : pairs) {
    const char a = static_cast<char>(capital), b = static_cast<char>(small);
    for (int i : {0, 1})
      unequal[i] += CompareStringA(i ? LOCALE_SYSTEM_DEFAULT : 0, NORM_IGNORECASE, &a, 1, &b, 1) !=
                    CSTR_EQUAL;
  }
  EXPECT_EQ(unequal[0], 14);
  EXPECT_EQ(unequal[1], 0);
  sim::reset();
}

TEST(SimulatedWin32, ExpandsTheVariablesItKnowsAndLeavesTheRestAsWritten) {
  sim::reset();
  sim::setEnvironmentVariable("ProgramFiles", "C:\\Program Files (x86)");
  char buffer[64];
  EXPECT_EQ(ExpandEnvironmentStringsA("%PROGRAMFILES%\\a %Nothing% 100% %", buffer, 64), 42u);
  EXPECT_STREQ(buffer, "C:\\Program Files (x86)\\a %Nothing% 100% %");
  EXPECT_EQ(ExpandEnvironmentStringsA("%ProgramFiles%", buffer, 22), 23u);
  sim::reset();
}

TEST_P(Messages, TheKeywordAndTheSwitchesFoldCaseInTheSystemsCodePageNotTheUsers) {
  // "чай" (tea) against "ЧАЙ", "я" against "Я", "ёж" against "ЁЖ", Windows-1251.
  struct Case {
    LCID system, user;
    std::string key, text;
    bool match;
  } cases[] = {
      {ruRU, deDE, "\xF7\xE0\xE9", "\xD7\xC0\xC9", true},
      {ruRU, deDE, "\xFF", "\xDF", true},
      {ruRU, deDE, "\xB8\xE6", "\xA8\xC6", true},
      {ruRU, enUS, "np", " NP ", true},
      {ruRU, deDE, "\xF7\xE0\xE9", "\xF7\xE0\xE8", false},
      // A system whose own code page is 1252 reads these bytes as other signs than letters.
      {enUS, ruRU, "\xF7\xE0\xE9", "\xD7\xC0\xC9", false},
  };
  for (const Case &c : cases) {
    sim::setLocales(c.system, c.user);
    messenger() = FakeMessenger{};
    initialiseWith("button-play=YES\r\nautoanswer-key=" + c.key);
    EXPECT_EQ(requestKinds(), std::vector<std::string>{"addButton"}) << hex(c.key);
    std::string answer = hex(deliver(messageEvent(1, c.text)));
    EXPECT_EQ(answer == hex(handledAnswer), c.match) << hex(c.key) << " / " << hex(c.text);
  }
}

ON_BOTH_BUILDS(Dispatch);
ON_BOTH_BUILDS(Messages);

} // namespace
