// What only the shipped 32-bit DLL can show: its loading and relocation, its start-up and
// unload, the 32-bit records it hands to Windows, the conventions it keeps at every crossing,
// and the cost of its paths in guest instructions.
#include "harness.h"

#include "fuzz/driver.h"
#include "host/version.h"
#include "tests/emulator/bindings.h"
#include "tests/emulator/dll.h"
#include "tests/emulator/ehframe.h"

#include <unicorn/unicorn.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

namespace {

const std::string allButtons = "button-send=yes\r\nbutton-prev=yes\r\nbutton-rew=yes\r\n"
                               "button-play=yes\r\nbutton-fwd=yes\r\nbutton-next=yes\r\n"
                               "button-open=yes\r\nbutton-mute=yes\r\nbutton-v_dn=yes\r\n"
                               "button-v_up=yes\r\nautoanswer-key=np\r\n";
const std::string initialiseAnswer = model::initialiseAnswer(QUIB_PRODUCT_NAME ", v" QUIB_VERSION);
constexpr std::size_t muteRow = 7;
constexpr std::size_t louderRow = 9;
// libstdc++ keeps a pool for exceptions thrown while the heap is exhausted: 16 objects of
// 1 KiB and 16 dependent exceptions of 160 bytes, taken at start-up and never given back.
constexpr std::uint32_t emergencyPoolSize = 16 * 1024 + 16 * 160;

class EmulatedDll : public ::testing::Test {
protected:
  void SetUp() override { setUpPluginTest(emulatedPlugin()); }
  void TearDown() override { tearDownPluginTest(); }
};

// The first n DWORDs of a 32-bit record.
std::vector<std::uint32_t> fields(const std::string &record, std::size_t n) {
  std::vector<std::uint32_t> values(n);
  std::memcpy(values.data(), record.data(), std::min(record.size(), 4 * n));
  return values;
}

// A session: every button registered, every button pressed, a keyword answered, finalised.
void session() {
  EXPECT_EQ(hex(initialiseWith(allButtons)), hex(initialiseAnswer));
  sim::addWindow("Winamp v1.x", "12. Some Artist - Some Song - Winamp",
                 [](UINT, WPARAM, LPARAM) { return LRESULT{1}; });
  for (std::size_t button = 0; button < 10; ++button) press(button);
  EXPECT_EQ(hex(deliver(messageEvent(5, "NP"))), "01 00 00 00 04");
  deliver(model::finaliseEvent());
  EXPECT_EQ(requestKinds().back(), "removeButton");
}

TEST_F(EmulatedDll, LoadsAtItsOwnBaseAndRunsTheSameAtAnotherOneWithEveryFixUpApplied) {
  const emu::pe::Image &own = emu::dll::image();
  EXPECT_EQ(own.base, own.preferredBase);
  EXPECT_EQ(own.relocations, 0u);
  EXPECT_EQ(own.exports.size(), 1u);
  session();
  std::vector<std::string> atOwnBase = requestKinds();

  messenger() = FakeMessenger{};
  sim::reset();
  loadEmulatedAt(0x40000000, answerRequest);
  const emu::pe::Image &moved = emu::dll::image();
  EXPECT_EQ(moved.base, 0x40000000u);
  EXPECT_GT(moved.relocations, 100u);
  session();
  EXPECT_EQ(requestKinds(), atOwnBase);
  for (const HostRequest &q : messenger().requests) {
    if (q.kind == "addButton") {
      EXPECT_EQ(q.handler >> 24, 0x40u) << "a handler outside the image";
    }
  }
}

TEST_F(EmulatedDll, AnImportWithoutABindingFailsTheLoadByName) {
  std::ifstream in(emu::dll::productPath(), std::ios::binary);
  std::string file(std::istreambuf_iterator<char>(in), {});
  // The name of Sleep in the import table, with a hint in front and a terminator after it.
  std::size_t at = file.find(std::string("Sleep\0", 6));
  ASSERT_NE(at, std::string::npos);
  file[at + 4] = 'q';
  std::ofstream("renamed.dll", std::ios::binary) << file;
  try {
    emu::dll::load("renamed.dll", [](std::string_view) { return std::nullopt; });
    ADD_FAILURE() << "the DLL loaded with an import that nothing serves";
  } catch (const emu::Fault &f) {
    EXPECT_EQ(std::string(f.what()), "imports without a binding: kernel32.dll!Sleeq");
  }
  loadEmulatedAt(0, answerRequest);
}

TEST_F(EmulatedDll, StartsAndStopsLikeALoadedLibraryAndGivesBackEveryBlockButTheRuntimePool) {
  EXPECT_FALSE(emu::dll::image().tlsCallbacks.empty());
  session();
  std::vector<emu::heap::Block> live = emu::dll::unload();
  // Only the runtime's pool, from DLL_PROCESS_ATTACH; the module-level strings are released.
  ASSERT_EQ(live.size(), 1u);
  EXPECT_EQ(live[0].phase, "attach");
  EXPECT_EQ(live[0].size, emergencyPoolSize);
  std::cout << "after unload: the C++ runtime's emergency exception pool, " << live[0].size
            << " bytes; nothing of the plug-in's own\n";
  loadEmulatedAt(0, answerRequest);
}

TEST_F(EmulatedDll, TheMixerGetsItsRecordsInTheir32BitForms) {
  sim::mixer().speakersLineId = 0x00120034;
  sim::mixer().muteControlId = 0x5678;
  initialiseWith("button-mute=yes");
  press(0);
  const std::vector<emu::MixerCall> &calls = emu::mixerCalls();
  ASSERT_EQ(calls.size(), 3u);
  // MIXERLINEA, 168 bytes: the component type at 24, the rest zero going in.
  const std::string &line = calls[0].record;
  ASSERT_EQ(line.size(), 168u);
  EXPECT_EQ(fields(line, 7), (std::vector<std::uint32_t>{168, 0, 0, 0, 0, 0, 4}));
  EXPECT_EQ(line.substr(28), std::string(140, '\0'));
  // MIXERLINECONTROLSA, 24 bytes, naming one MIXERCONTROLA of 148 bytes.
  EXPECT_EQ(fields(calls[1].record, 5),
            (std::vector<std::uint32_t>{24, 0x00120034, 0x20010002, 1, 148}));
  EXPECT_EQ(calls[1].pointed.size(), 148u);
  // MIXERCONTROLDETAILS, 24 bytes, with one MIXERCONTROLDETAILS_BOOLEAN of 4 bytes.
  EXPECT_EQ(fields(calls[2].record, 5), (std::vector<std::uint32_t>{24, 0x5678, 1, 0, 4}));
  EXPECT_EQ(calls[2].pointed, std::string(4, '\xFF'));
  EXPECT_EQ(sim::mixer().setValues, std::vector<LONG>{-1});
  EXPECT_EQ(requestKinds().back(), "updateButton");
}

TEST_F(EmulatedDll, TheTwoPlayerBoxesAndTheMixerBoxCarryTheirFlags) {
  sim::mixer().present = false;
  initialiseWith("button-next=yes\r\nbutton-mute=yes\r\ncustom-player=p.exe");
  press(0); // no program anywhere
  std::ofstream("p.exe") << "MZ";
  press(0); // started, but its window never comes up
  press(1);
  std::vector<UINT> flags;
  for (const sim::MessageBoxCall &box : sim::messageBoxes()) {
    EXPECT_EQ(box.owner, nullptr);
    EXPECT_EQ(box.caption, "");
    flags.push_back(box.flags);
  }
  // MB_ICONHAND | MB_TASKMODAL; MB_ICONEXCLAMATION | MB_TASKMODAL | MB_TOPMOST; MB_ICONHAND |
  // MB_TASKMODAL.
  EXPECT_EQ(flags, (std::vector<UINT>{0x2010, 0x42030, 0x2010}));
}

// Guest code that breaks the convention in one way each, called as stdcall with one argument.
TEST_F(EmulatedDll, EveryBrokenConventionAtACrossingIsCaught) {
  struct Case {
    const char *what;
    std::string code;
    const char *caught;
  } cases[] = {
      {"cdecl return", "\xC3", "ESP is 4 bytes below"},
      {"two arguments popped", std::string("\xC2\x08\x00", 3), "ESP is 4 bytes above"},
      {"EBX", std::string("\xBB\0\0\0\0\xC2\x04\x00", 8), "EBX changed"},
      {"ESI", std::string("\xBE\0\0\0\0\xC2\x04\x00", 8), "ESI changed"},
      {"EDI", std::string("\xBF\0\0\0\0\xC2\x04\x00", 8), "EDI changed"},
      {"EBP", std::string("\xBD\0\0\0\0\xC2\x04\x00", 8), "EBP changed"},
      {"direction flag", std::string("\xFD\xC2\x04\x00", 4), "the direction flag is set"},
      {"x87 reset", std::string("\xDB\xE3\xC2\x04\x00", 5), "the x87 control word changed"},
      {"MXCSR reset", std::string("\x68\x80\x1F\0\0\x0F\xAE\x14\x24\x58\xC2\x04\x00", 13),
       "MXCSR changed"},
  };
  // Each piece of code at an address of its own: the CPU keeps what it has translated.
  emu::Addr code = 0x00300000;
  emu::map(code, emu::pageSize, UC_PROT_READ | UC_PROT_EXEC);
  for (const Case &c : cases) {
    code += 16;
    emu::write(code, c.code);
    try {
      emu::call(code, {0}, emu::Convention::stdcall, c.what);
      ADD_FAILURE() << c.what << " was not caught";
    } catch (const emu::Fault &f) {
      EXPECT_NE(std::string(f.what()).find(c.caught), std::string::npos) << f.what();
    }
  }
  // fninit; push 0; mov eax, callback; call eax; ret 4: the messenger's modes are gone by the
  // time the DLL calls it.
  code += 16;
  emu::write(code, std::string("\xDB\xE3\x6A\x00\xB8", 5) + model::le32(emu::dll::hostCallback()) +
                       std::string("\xFF\xD0\xC2\x04\x00", 5));
  try {
    emu::call(code, {0}, emu::Convention::stdcall, "a caller with its own modes");
    ADD_FAILURE() << "the host callback took a call in the wrong modes";
  } catch (const emu::Fault &f) {
    EXPECT_EQ(std::string(f.what()),
              "the host callback was called in a broken state: the x87 control word is "
              "0x0000037F;");
  }
}

// A caller that takes a stdcall routine for cdecl: the callee removes the argument and the
// caller does not put its outgoing area back, so ESP stays 4 bytes above where it was. Nothing
// shows at the return (a frame pointer would restore ESP); the caller's next call shows it.
// Every COM method and import is such a routine, and each is entered in the messenger's modes.
TEST_F(EmulatedDll, ACallerThatTakesAStdcallRoutineForCdeclIsCaughtAtItsNextCall) {
  emu::Addr routine = emu::addHostRoutine("a stdcall routine", emu::Convention::stdcall, 1,
                                          [](const emu::Call &) { return 0u; });
  // sub esp, 4; mov dword [esp], 0; call [slot]; then either sub esp, 4; call [slot] (the
  // epilogue's add esp, 4 cancels the routine's pop), or call [slot]; add esp, 4; and ret 4
  constexpr emu::Addr code = 0x00300000, slot = code + 0x400;
  const std::string callRoutine = "\xFF\x15" + model::le32(slot);
  auto caller = [&](bool putsBack) {
    std::string body = std::string("\x83\xEC\x04\xC7\x04\x24\0\0\0\0", 10) + callRoutine;
    body += putsBack ? "\x83\xEC\x04" + callRoutine : callRoutine + "\x83\xC4\x04";
    return body + std::string("\xC2\x04\x00", 3);
  };
  emu::map(code, emu::pageSize, UC_PROT_READ | UC_PROT_EXEC);
  emu::write(code, caller(true));
  emu::write(code + 0x100, caller(false));
  emu::write(slot, model::le32(routine));
  emu::checkCallersIn(code, code + emu::pageSize,
                      {{code, code + 0x40}, {code + 0x100, code + 0x140}});
  EXPECT_NO_THROW(emu::call(code, {0}, emu::Convention::stdcall, "a caller that puts ESP back"));
  try {
    emu::call(code + 0x100, {0}, emu::Convention::stdcall, "a caller that does not");
    ADD_FAILURE() << "the caller that keeps ESP off went unnoticed";
  } catch (const emu::Fault &f) {
    EXPECT_EQ(std::string(f.what()),
              "the caller of a stdcall routine (the function at 0x00300100) keeps ESP 4 bytes "
              "above where it had it before the call: it and a stdcall routine disagree on who "
              "removes the arguments");
  }
  // std; push 0; call [slot]; cld; ret 4: an import entered with the direction flag set.
  emu::write(code + 0x200,
             std::string("\xFD\x6A\x00", 3) + callRoutine + std::string("\xFC\xC2\x04\x00", 4));
  try {
    emu::call(code + 0x200, {0}, emu::Convention::stdcall, "a caller with the flag set");
    ADD_FAILURE() << "the routine took a call with the direction flag set";
  } catch (const emu::Fault &f) {
    EXPECT_EQ(std::string(f.what()),
              "a stdcall routine was called in a broken state: the direction flag is set;");
  }
}

// The product's functions, as its call frame information bounds them: every handler and the
// entry point lie in one.
TEST_F(EmulatedDll, TheCallFrameInformationBoundsEveryEntryPoint) {
  const emu::pe::Image &image = emu::dll::image();
  std::vector<emu::FunctionRange> functions = emu::ehframe::functions(image);
  EXPECT_GT(functions.size(), 100u);
  auto inOne = [&](emu::Addr a) {
    return std::any_of(functions.begin(), functions.end(),
                       [a](const emu::FunctionRange &f) { return f.begin <= a && a < f.end; });
  };
  EXPECT_TRUE(inOne(image.exports.at("pluginFun")));
  initialiseWith(allButtons);
  for (const HostRequest &q : messenger().requests) {
    if (q.kind == "addButton") {
      EXPECT_TRUE(inOne(q.handler)) << q.handler;
    }
  }
  for (const emu::FunctionRange &f : functions) {
    EXPECT_LT(f.begin, f.end);
    EXPECT_TRUE(f.begin >= image.base && f.end <= image.base + image.size);
  }
}

TEST_F(EmulatedDll, AReadPastARecordHitsTheUnmappedPageAfterIt) {
  emu::Addr record = emu::placeAtPageEnd(emu::eventWindowEnd, model::finaliseEvent());
  EXPECT_EQ(record + 6, emu::eventWindowEnd);
  EXPECT_EQ(emu::read(record, 6), model::finaliseEvent());
  EXPECT_THROW(emu::read(record, 7), emu::Fault);
  // mov eax, [end]; ret 4
  constexpr emu::Addr code = 0x00300000;
  emu::map(code, emu::pageSize, UC_PROT_READ | UC_PROT_EXEC);
  emu::write(code, std::string("\xA1\0\0\0\x02\xC2\x04\x00", 8));
  try {
    emu::call(code, {record}, emu::Convention::stdcall, "the reader");
    ADD_FAILURE() << "the read past the record went unnoticed";
  } catch (const emu::Fault &f) {
    EXPECT_NE(std::string(f.what()).find("read of unmapped memory, 4 bytes at 0x02000000 (the "
                                         "unmapped page after the event record)"),
              std::string::npos)
        << f.what();
  }
}

// The i686 exception model: an allocation that fails deep inside is thrown and caught within
// the DLL, and the messenger sees only the answer.
TEST_F(EmulatedDll, AnExhaustedHeapIsCaughtInsideTheDll) {
  writeSettings(allButtons + "; " + std::string(100000, 'x') + "\r\n");
  emu::heap::setFailingSize(50000);
  EXPECT_EQ(hex(deliver(initialiseEvent())), hex(initialiseAnswer));
  EXPECT_TRUE(messenger().requests.empty()); // the file could not be read
  emu::heap::setFailingSize(0);
  EXPECT_EQ(hex(deliver(initialiseEvent())), hex(initialiseAnswer));
  EXPECT_EQ(messenger().requests.size(), 10u);
}

struct Cost {
  std::uint64_t instructions;
  std::uint64_t heapCalls;
};

template <class Operation> Cost costOf(Operation operation) {
  std::uint64_t instructions = emu::instructions(), heapCalls = emu::heap::calls();
  operation();
  return {emu::instructions() - instructions, emu::heap::calls() - heapCalls};
}

// Each operation once more after a first run, as the messenger repeats them: the reply buffer
// has grown by then.
TEST_F(EmulatedDll, WhatThePathsCostInGuestInstructionsAndHeapCalls) {
  std::string message = messageEvent(42, std::string(64, 'm'));
  std::string keyword = messageEvent(42, "np");
  initialiseWith(allButtons);
  // The title of the current entry lies in the player's memory.
  constexpr LRESULT titleAt = 0x00A01000;
  HWND player = sim::addWindow("Winamp v1.x", "12. Some Artist - Some Song - Winamp",
                               [](UINT, WPARAM, LPARAM l) { return l == 212 ? titleAt : 1; });
  sim::writeProcessMemory(player, titleAt, "Some Artist - Some Song");
  deliver(message);
  Cost plain = costOf([&] { deliver(message); });
  deliver(keyword);
  Cost hit = costOf([&] { deliver(keyword); });
  Cost initialise = costOf([&] { deliver(initialiseEvent()); });
  Cost finalise = costOf([&] { deliver(model::finaliseEvent()); });
  press(louderRow);
  Cost louder = costOf([&] { press(louderRow); });
  sim::installCoreAudio();
  press(muteRow);
  Cost mute = costOf([&] { press(muteRow); });
  initialiseWith(allButtons + "nowplaying-format=>Winamp: %number%. %title% (%khz%KHz)\r\n");
  deliver(keyword);
  Cost titled = costOf([&] { deliver(keyword); });
  EXPECT_EQ(messenger().requests.back().text, ">Winamp: 2. Some Artist - Some Song (1KHz)");
  sim::removeWindow(player);
  driver::addAimp(driver::aimpBlock({}, {u"", u"Исполнитель", u"", u"C:\\x.mp3", u"", u"Песня"}),
                  {});
  initialiseWith(allButtons + "nowplaying-format=\r\n");
  deliver(keyword);
  Cost aimp = costOf([&] { deliver(keyword); });
  EXPECT_EQ(messenger().requests.back().text.substr(0, 7), ">AIMP: ");
  EXPECT_LE(plain.instructions, 1000u);
  EXPECT_EQ(plain.heapCalls, 0u);
  const std::pair<const char *, Cost> table[] = {
      {"a message that is not the keyword (64-byte text)", plain},
      {"a keyword hit, the now-playing line sent", hit},
      {"initialise with all ten buttons", initialise},
      {"finalise, ten buttons removed", finalise},
      {"a press of louder", louder},
      {"a press of mute through Core Audio", mute},
      {"a keyword hit with %number% and %title%, the title read from the player", titled},
      {"a keyword hit from AIMP, its shared block read", aimp},
  };
  for (const auto &[operation, cost] : table)
    std::cout << "| " << operation << " | " << cost.instructions << " | " << cost.heapCalls
              << " |\n";
}

} // namespace
