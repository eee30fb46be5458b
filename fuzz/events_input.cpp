#include "fuzz/events_input.h"

#include <cstring>
#include <numeric>
#include <string>

namespace events {

namespace {

constexpr std::uint8_t settingsExist = 1, playerRuns = 2, playerHung = 4, launchWorks = 8,
                       registryNamesPlayer = 16, noMixer = 32, noSpeakers = 64, noMute = 128;
// The longest that one event or press may hold the messenger's thread in sleeps: nine lookups
// 750 ms apart and 200 ms to settle.
constexpr std::uint64_t longestLaunchWaitMs = 9 * 750 + 200;

struct Player {
  std::string caption;
  driver::PlayerAnswers answers;
  bool hung = false;
  int lookupsUntilUp = -1; // after a launch: the lookups until the window appears; -1: none

  void start() {
    HWND window = driver::addPlayer(caption, answers);
    sim::setHung(window, hung);
  }
};

constexpr std::uint8_t coreAudioThere = 1, noDefaultEndpoint = 2, activateFails = 4,
                       setMuteFails = 8, endpointMuted = 16, singleThreaded = 32,
                       multithreaded = 64;

// Windows XP, or Vista and later with the failures the input chooses.
void setUpCoreAudio(std::uint8_t choice) {
  sim::CoreAudio &a = sim::coreAudio();
  a.registered = choice & coreAudioThere;
  a.defaultEndpoint = !(choice & noDefaultEndpoint);
  if (choice & activateFails) a.activateResult = AUDCLNT_E_DEVICE_INVALIDATED;
  if (choice & setMuteFails) a.setMuteResult = E_FAIL;
  a.endpointMuted = choice & endpointMuted;
  if (choice & (singleThreaded | multithreaded)) {
    a.apartment =
        (choice & singleThreaded) ? sim::Apartment::singleThreaded : sim::Apartment::multithreaded;
    a.initialisations = 1;
  }
}

void setUpMachine(driver::Cursor &in, Player &player) {
  std::uint8_t machine = in.byte();
  std::string_view settingsText = in.text();
  if (machine & settingsExist)
    driver::writeSettings(settingsText);
  else
    driver::removeSettings();
  player.caption = in.text();
  player.answers = {in.i32(), in.i32(), in.i32(), in.i32()};
  player.hung = machine & playerHung;
  if (machine & playerRuns) player.start();
  std::uint8_t lookups = in.byte();
  if (machine & launchWorks)
    sim::onShellExecute() = [&player, lookups](const sim::ShellCall &call) {
      if (call.file == "notepad.exe") return;
      player.lookupsUntilUp = lookups;
      if (lookups == 0) player.start();
    };
  sim::onSleep() = [&player](DWORD) {
    if (player.lookupsUntilUp > 0 && --player.lookupsUntilUp == 0) player.start();
  };
  std::string_view command = in.text();
  if (machine & registryNamesPlayer)
    sim::setRegistryValue(HKEY_CLASSES_ROOT, "Winamp.File\\Shell\\open\\command", "",
                          std::string(command));
  sim::mixer().present = !(machine & noMixer);
  sim::mixer().hasSpeakers = !(machine & noSpeakers);
  sim::mixer().hasMute = !(machine & noMute);
  driver::messenger().answers = driver::Cursor(in.text());
  setUpCoreAudio(in.byte());
}

void deliver(std::string_view fields, const Plugin &plugin) {
  std::string body(fields);
  // The messenger hands over its own callback; a zero field stays null.
  std::uint32_t callback = plugin.callbackAddress();
  if (body.size() >= 6 && body[0] == 3 && body[1] == 1 && body.substr(2, 4) != std::string(4, '\0'))
    std::memcpy(body.data() + 2, &callback, 4);
  plugin.deliver(model::framed(body), body);
}

void step(driver::Cursor &in, const Plugin &plugin) {
  sim::sleeps().clear();
  switch (in.byte() % 3) {
  case 0:
    deliver(in.text(), plugin);
    break;
  case 1: {
    std::uint8_t which = in.byte();
    const std::vector<std::uint32_t> &handlers = driver::messenger().handlers;
    if (!handlers.empty()) plugin.press(handlers[which % handlers.size()]);
    break;
  }
  default:
    plugin.deliverNull();
    break;
  }
  const sim::CoreAudio &audio = sim::coreAudio();
  driver::expect(sim::comReferences() == sim::ComReferences{0, 0, 0},
                 "a COM interface was kept after a step");
  driver::expect(sim::unbalancedComInitialisations() == 0 && audio.misuses.empty(),
                 "COM was left unbalanced or misused");
  const std::vector<DWORD> &sleeps = sim::sleeps();
  driver::expect(std::accumulate(sleeps.begin(), sleeps.end(), std::uint64_t{0}) <=
                     longestLaunchWaitMs,
                 "the messenger's thread slept longer than a launch takes");
}

} // namespace

void run(driver::Cursor &in, const Plugin &plugin) {
  // The machine's hooks reach the player below: they go with it, however the run ends.
  struct Unhook {
    ~Unhook() {
      sim::onShellExecute() = nullptr;
      sim::onSleep() = nullptr;
    }
  } unhook;
  Player player;
  setUpMachine(in, player);
  while (!in.empty()) step(in, plugin);
}

} // namespace events
