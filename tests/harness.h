#pragma once
// A fake messenger that decodes the plug-in's framed requests, and a fixture that gives every
// test a freshly loaded plug-in, an empty simulated machine and a scratch current directory.
#include "host/QUIB_Ctl.h"
#include "host/win32.h"
#include "tests/model/messenger.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
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
const void *WINAPI fakeHostCallback(const void *framedRequest);
std::uint32_t fakeCallbackAddress();

// Event records as the messenger builds them.
std::string event(int kind, int code, const std::string &fields = {});
std::string initialiseEvent();
std::string messageEvent(std::int32_t sender, const std::string &text);
// Delivers an event and gives the answer's framed bytes ("" for null).
std::string deliver(const std::string &eventRecord);

void writeSettings(const std::string &text);
// Initialises the plug-in with the given settings file.
std::string initialiseWith(const std::string &settingsText);
// Presses the button registered by the n-th addButton (0-based), through its handler address.
void press(std::size_t registration);
std::vector<std::string> requestKinds();

class PluginTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;
  std::filesystem::path dir;
  std::filesystem::path previousDir;
};
