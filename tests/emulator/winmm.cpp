// winmm's mixer functions the plug-in imports, served by the simulated mixer: the 32-bit records
// translated field by field, and kept as the DLL passed them.
#include "tests/emulator/win32.h"

#include <cstring>

namespace emu {
namespace win32 {
namespace {
constexpr MMRESULT invalidParameter = 11; // MMSYSERR_INVALPARAM

constexpr std::uint32_t mixerLineSize = 168, lineControlsSize = 24, mixerControlSize = 148,
                        controlDetailsSize = 24;

// 32-bit structures as bytes: DWORD fields at their 32-bit offsets.
std::uint32_t field(const std::string &record, std::size_t offset) {
  std::uint32_t v = 0;
  std::memcpy(&v, record.data() + offset, 4);
  return v;
}

void setField(std::string &record, std::size_t offset, std::uint32_t v) {
  std::memcpy(record.data() + offset, &v, 4);
}
HMIXEROBJ mixerOf(const Call &c) {
  return reinterpret_cast<HMIXEROBJ>(std::uintptr_t{c.arg(0)});
}
MixerCall &logMixerCall(const char *function, Addr record, std::uint32_t size) {
  return state().mixerCalls.emplace_back(MixerCall{function, read(record, size), {}});
}

// MIXERLINEA: five DWORDs, dwUser, four DWORDs, two names and the target, at 32-bit offsets.
std::uint32_t getLineInfo(const Call &c) {
  std::string r = read(c.arg(1), 4);
  if (field(r, 0) != mixerLineSize) {
    logMixerCall("mixerGetLineInfoA", c.arg(1), 4);
    return invalidParameter;
  }
  r = logMixerCall("mixerGetLineInfoA", c.arg(1), mixerLineSize).record;
  MIXERLINEA line{};
  DWORD *before[] = {&line.dwDestination, &line.dwSource, &line.dwLineID, &line.fdwLine};
  DWORD *after[] = {&line.dwComponentType, &line.cChannels, &line.cConnections, &line.cControls};
  line.cbStruct = sizeof line;
  for (std::size_t i = 0; i < 4; ++i)
    *before[i] = field(r, 4 + 4 * i), *after[i] = field(r, 24 + 4 * i);
  line.dwUser = field(r, 20);
  std::memcpy(line.szShortName, r.data() + 40, 16 + 64);
  line.Target.dwType = field(r, 120);
  line.Target.dwDeviceID = field(r, 124);
  std::memcpy(&line.Target.wMid, r.data() + 128, 4);
  line.Target.vDriverVersion = field(r, 132);
  std::memcpy(line.Target.szPname, r.data() + 136, 32);
  MMRESULT result = mixerGetLineInfoA(mixerOf(c), &line, c.arg(2));
  for (std::size_t i = 0; i < 4; ++i)
    setField(r, 4 + 4 * i, *before[i]), setField(r, 24 + 4 * i, *after[i]);
  setField(r, 20, static_cast<std::uint32_t>(line.dwUser));
  std::memcpy(r.data() + 40, line.szShortName, 16 + 64);
  setField(r, 120, line.Target.dwType);
  setField(r, 124, line.Target.dwDeviceID);
  std::memcpy(r.data() + 128, &line.Target.wMid, 4);
  setField(r, 132, line.Target.vDriverVersion);
  std::memcpy(r.data() + 136, line.Target.szPname, 32);
  write(c.arg(1), r);
  return result;
}

// MIXERLINECONTROLSA: five DWORDs and the address of the MIXERCONTROLA array, whose layout is
// the same for both worlds.
std::uint32_t getLineControls(const Call &c) {
  std::string r = read(c.arg(1), lineControlsSize);
  MixerCall &logged = logMixerCall("mixerGetLineControlsA", c.arg(1), lineControlsSize);
  if (field(r, 0) != lineControlsSize || field(r, 16) != mixerControlSize) return invalidParameter;
  Addr controlsAt = field(r, 20);
  std::string controls = read(controlsAt, std::size_t{field(r, 12)} * mixerControlSize);
  logged.pointed = controls;
  MIXERLINECONTROLSA request{};
  request.cbStruct = sizeof request;
  request.dwLineID = field(r, 4);
  request.dwControlType = field(r, 8);
  request.cControls = field(r, 12);
  request.cbmxctrl = sizeof(MIXERCONTROLA);
  std::vector<MIXERCONTROLA> host(request.cControls);
  std::memcpy(host.data(), controls.data(), controls.size());
  request.pamxctrl = host.empty() ? nullptr : host.data();
  MMRESULT result = mixerGetLineControlsA(mixerOf(c), &request, c.arg(2));
  setField(r, 4, request.dwLineID);
  setField(r, 8, request.dwControlType);
  write(c.arg(1), r);
  std::memcpy(controls.data(), host.data(), controls.size());
  write(controlsAt, controls);
  return result;
}

// MIXERCONTROLDETAILS: five DWORDs (the fourth shares its place with the owner window) and
// the address of the values.
std::uint32_t setControlDetails(const Call &c) {
  std::string r = read(c.arg(1), controlDetailsSize);
  MixerCall &logged = logMixerCall("mixerSetControlDetails", c.arg(1), controlDetailsSize);
  if (field(r, 0) != controlDetailsSize) return invalidParameter;
  std::uint32_t items = field(r, 12) ? field(r, 12) : 1;
  std::string values = read(field(r, 20), std::size_t{field(r, 16)} * field(r, 8) * items);
  logged.pointed = values;
  MIXERCONTROLDETAILS details{};
  details.cbStruct = sizeof details;
  details.dwControlID = field(r, 4);
  details.cChannels = field(r, 8);
  details.cMultipleItems = field(r, 12);
  details.cbDetails = field(r, 16);
  details.paDetails = values.data();
  return mixerSetControlDetails(mixerOf(c), &details, c.arg(2));
}
} // namespace

const std::vector<Binding> &winmmBindings() {
  constexpr Convention w = Convention::stdcall;
  static const std::vector<Binding> bindings{
      {"winmm.dll", "mixerGetLineInfoA", w, 3, withLastError<getLineInfo>, 0},
      {"winmm.dll", "mixerGetLineControlsA", w, 3, withLastError<getLineControls>, 0},
      {"winmm.dll", "mixerSetControlDetails", w, 3, withLastError<setControlDetails>, 0},
  };
  return bindings;
}
} // namespace win32

std::vector<MixerCall> &mixerCalls() {
  return win32::state().mixerCalls;
}
} // namespace emu
