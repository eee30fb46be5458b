#pragma once
// A fake messenger that decodes the plug-in's framed requests, and fixtures that give every
// test a freshly loaded plug-in, an empty simulated machine and a scratch current directory.
// The black-box tests run on both builds of the plug-in (see plugin_under_test.h).
#include "host/win32.h"
#include "tests/model/messenger.h"
#include "tests/plugin_under_test.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

// Bytes given as numbers, for records with non-ASCII content.
std::string bytes(std::initializer_list<int> list);
std::string hex(const std::string &s);

struct HostRequest {
  std::string framed; // exactly the bytes the messenger was handed
  std::string kind;   // addButton, updateButton, removeButton, getChatContact, sendMessage, ?
  std::int32_t idOrContact = 0;
  std::uint32_t handler = 0;
  int iconId = 0; // the resource id behind the icon handle, looked up while it was alive
  std::string text;
};

struct FakeMessenger {
  std::vector<HostRequest> requests;
  std::int32_t nextButtonId = 101;
  std::int32_t chatContact = 321;
  bool nullAnswers = false;
  std::string answer;
};

FakeMessenger &messenger();
// The messenger's side of the host callback, for either build.
const std::string *answerRequest(std::string_view framedRequest);

// The build the current test drives.
const PluginUnderTest &plugin();
std::uint32_t callbackAddress();

// Event records as the messenger builds them.
std::string event(int kind, int code, const std::string &fields = {});
std::string initialiseEvent();
std::string messageEvent(std::int32_t sender, const std::string &text);
// Delivers an event and gives the answer's framed bytes ("" for null).
std::string deliver(const std::string &eventRecord);
// Delivers an event and gives the address of its answer.
std::uintptr_t deliverAt(const std::string &eventRecord);

// Notepad as the plug-in starts it: by its full name in the simulated system folder.
inline const std::string systemNotepad = "C:\\WINDOWS\\system32\\notepad.exe";

void writeSettings(const std::string &text);
// Initialises the plug-in with the given settings file.
std::string initialiseWith(const std::string &settingsText);
// Presses the button registered by the n-th addButton (0-based), through its handler address.
void press(std::size_t registration);
std::vector<std::string> requestKinds();
// The line the keyword brings after an initialise with these settings lines (the keyword "np"
// added); "(no line)" when anything but one sendMessage reached the messenger. The player's
// messages are those of this answer alone.
std::string keywordAnswerWith(const std::string &lines);

// The messages sent to windows: the window, the message, wParam and lParam.
using Msg = std::tuple<HWND, UINT, WPARAM, LPARAM>;
std::vector<Msg> sent();
// Creates a program file at a Windows path relative to the current directory.
void touch(std::string path);

// A scratch current directory, an empty machine and messenger, and the build freshly loaded;
// at the end the handles the plug-in opened must all be closed again.
void setUpPluginTest(const PluginUnderTest &build);
void tearDownPluginTest();

// A black-box test: it drives the plug-in only as the messenger does, on either build.
class PluginTest : public ::testing::TestWithParam<const PluginUnderTest *> {
protected:
  void SetUp() override { setUpPluginTest(*GetParam()); }
  void TearDown() override { tearDownPluginTest(); }
};

// A test that also reaches into the native build's routines or state.
class NativePluginTest : public ::testing::Test {
protected:
  void SetUp() override { setUpPluginTest(nativePlugin()); }
  void TearDown() override { tearDownPluginTest(); }
};

// Runs the suite's tests on the native build and on the shipped DLL under emulation; their
// names end in /native and /emulated.
#define ON_BOTH_BUILDS(suite)                                                                      \
  INSTANTIATE_TEST_SUITE_P(Builds, suite, ::testing::Values(&nativePlugin(), &emulatedPlugin()),   \
                           [](const auto &info) { return std::string(info.param->name); })
