// The toolbar buttons: registration at initialise, removal at finalise, their icons and hints.
#include "harness.h"

#include "player/volume.h"

#include <algorithm>

namespace {

const char *const keys[] = {"send", "prev", "rew",  "play", "fwd",
                            "next", "open", "mute", "v_dn", "v_up"};

// A settings file that names every switch, on for the given keys and off for the others.
std::string switchedOn(std::initializer_list<std::string_view> on) {
  std::string text;
  for (std::string_view key : keys)
    text += "button-" + std::string(key) +
            (std::find(on.begin(), on.end(), key) != on.end() ? "=yes\r\n" : "=no\r\n");
  return text;
}

const std::string allOn =
    switchedOn({"send", "prev", "rew", "play", "fwd", "next", "open", "mute", "v_dn", "v_up"});

// Icon and hint in registration order; hints in Windows-1251.
const std::pair<int, std::string> registered[] = {
    // "Send the track data to the chat"
    {100, "\xCE\xF2\xEF\xF0\xE0\xE2\xE8\xF2\xFC \xE4\xE0\xED\xED\xFB\xE5 \xF2\xF0\xE5\xEA\xE0 "
          "\xE2 \xF7\xE0\xF2"},
    {1, "\xCF\xF0\xE5\xE4\xFB\xE4\xF3\xF9\xE8\xE9 \xF2\xF0\xE5\xEA"}, // "Previous track"
    {7, "5 \xF1\xE5\xEA\xF3\xED\xE4 \xED\xE0\xE7\xE0\xE4"},           // "5 seconds back"
    // "Playback\pause"
    {2, "\xC2\xEE\xF1\xEF\xF0\xEE\xE8\xE7\xE2\xE5\xE4\xE5\xED\xE8\xE5\\\xCF\xE0\xF3\xE7\xE0"},
    {8, "5 \xF1\xE5\xEA\xF3\xED\xE4 \xE2\xEF\xE5\xF0\xE5\xE4"},           // "5 seconds forward"
    {5, "\xD1\xEB\xE5\xE4\xF3\xFE\xF9\xE8\xE9 \xF2\xF0\xE5\xEA"},         // "Next track"
    {6, "\xCE\xF2\xEA\xF0\xFB\xF2\xFC \xF4\xE0\xE9\xEB\xFB \xE2 Winamp"}, // "Open files in Winamp"
    // "Sound on\off"
    {11, "\xC2\xEA\xEB\xFE\xF7\xE8\xF2\xFC\\\xE2\xFB\xEA\xEB\xFE\xF7\xE8\xF2\xFC \xE7\xE2\xF3\xEA"},
    {12, "\xD2\xE8\xF8\xE5"},         // "Quieter"
    {13, "\xC3\xF0\xEE\xEC\xF7\xE5"}, // "Louder"
};

std::vector<std::int32_t> removedIds() {
  std::vector<std::int32_t> ids;
  for (const HostRequest &q : messenger().requests)
    if (q.kind == "removeButton") ids.push_back(q.idOrContact);
  return ids;
}

void finalise() {
  EXPECT_EQ(deliver(event(3, 2)), "");
}

using Buttons = PluginTest;

TEST_F(Buttons, AllTenRegisterInOrderWithTheirIconsAndHintsAndFreshIconHandles) {
  initialiseWith(allOn);
  const auto &requests = messenger().requests;
  ASSERT_EQ(requests.size(), 10u);
  std::vector<std::uint32_t> handlers;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const HostRequest &q = requests[i];
    EXPECT_EQ(q.kind, "addButton") << i;
    EXPECT_EQ(q.iconId, registered[i].first) << i;
    EXPECT_EQ(hex(q.text), hex(registered[i].second)) << i;
    EXPECT_EQ(q.framed.size(), 18 + registered[i].second.size()) << i;
    EXPECT_NE(q.handler, 0u) << i;
    for (std::uint32_t h : handlers) EXPECT_NE(q.handler, h) << i;
    handlers.push_back(q.handler);
  }
  // One icon loaded per request, each destroyed once the messenger had answered.
  EXPECT_EQ(sim::loadedIcons(), 10);
  EXPECT_EQ(sim::liveIcons(), 0);
}

TEST_F(Buttons, FinaliseRemovesInExactReverseOrderWithTheIdsThatCameBackSkippingZero) {
  struct Case {
    std::int32_t firstId;
    std::vector<std::int32_t> removed;
  } cases[] = {{101, {110, 109, 108, 107, 106, 105, 104, 103, 102, 101}},
               {-2, {7, 6, 5, 4, 3, 2, 1, -1, -2}}}; // 5 s back gets 0
  for (const Case &c : cases) {
    messenger() = FakeMessenger{};
    messenger().nextButtonId = c.firstId;
    initialiseWith(allOn);
    finalise();
    EXPECT_EQ(removedIds(), c.removed) << c.firstId;
  }
  EXPECT_EQ(hex(messenger().requests[10].framed), "06 00 00 00 05 CB 07 00 00 00");
}

TEST_F(Buttons, EverySwitchOffMakesNoRequestAtInitialiseOrFinalise) {
  initialiseWith(switchedOn({}));
  finalise();
  EXPECT_TRUE(messenger().requests.empty());
}

TEST_F(Buttons, OnlyTheMuteButtonIsRegisteredAndRemovedWithItsId) {
  messenger().nextButtonId = 4242;
  initialiseWith("button-mute=yes");
  finalise();
  ASSERT_EQ(requestKinds(), (std::vector<std::string>{"addButton", "removeButton"}));
  EXPECT_EQ(messenger().requests[0].iconId, 11);
  EXPECT_EQ(hex(messenger().requests[0].text), hex(registered[7].second));
  EXPECT_EQ(messenger().requests[1].idOrContact, 4242);
}

TEST_F(Buttons, QuieterOnAndLouderOffRegistersOnlyQuieterWithItsOwnHandler) {
  initialiseWith("button-v_dn=yes\r\nbutton-v_up=no");
  ASSERT_EQ(requestKinds(), std::vector<std::string>{"addButton"});
  EXPECT_EQ(messenger().requests[0].iconId, 12);
  EXPECT_EQ(hex(messenger().requests[0].text), hex(registered[8].second));
  volumeLevel = 100;
  press(0);
  EXPECT_EQ(volumeLevel, 75);
}

TEST_F(Buttons, ASecondInitialiseRegistersAgainAndSwitchedOffButtonsKeepTheirIds) {
  initialiseWith(allOn);
  initialiseWith(switchedOn({"play", "mute"})); // play gets 111, mute 112
  ASSERT_EQ(messenger().requests.size(), 12u);
  EXPECT_EQ(messenger().requests[10].iconId, 2);
  EXPECT_EQ(messenger().requests[11].iconId, 11);
  finalise();
  EXPECT_EQ(removedIds(),
            (std::vector<std::int32_t>{110, 109, 112, 107, 106, 105, 111, 103, 102, 101}));
}

} // namespace
