#include "mixer/mute.h"

#include "host/buttonids.h"
#include "mixer/endpoint.h"
#include "host/requests.h"

#include <string>

bool muteState = false;

namespace {

// The records keep their 32-bit Windows sizes in the product.
static_assert(sizeof(void *) != 4 || sizeof(MIXERLINEA) == 168);
static_assert(sizeof(void *) != 4 || sizeof(MIXERLINECONTROLSA) == 24);
static_assert(sizeof(void *) != 4 || sizeof(MIXERCONTROLA) == 148);
static_assert(sizeof(void *) != 4 || sizeof(MIXERCONTROLDETAILS) == 24);

constexpr LONG muteOn = -1; // all bits set
constexpr LONG muteOff = 0;

// "Switch the sound off"
constexpr std::string_view soundOffHint = "\xC2\xFB\xEA\xEB\xFE\xF7\xE8\xF2\xFC \xE7\xE2\xF3\xEA";
// "Switch the sound on"
constexpr std::string_view soundOnHint = "\xC2\xEA\xEB\xFE\xF7\xE8\xF2\xFC \xE7\xE2\xF3\xEA";
constexpr int soundIcon = 11;
constexpr int mutedIcon = 10;

HMIXEROBJ mixerDevice(UINT mixerId) {
  return reinterpret_cast<HMIXEROBJ>(static_cast<std::uintptr_t>(mixerId));
}

} // namespace

MMRESULT getMuteControl(UINT mixerId, MIXERCONTROLA &control) {
  MIXERLINEA line{};
  line.cbStruct = sizeof(line);
  line.dwComponentType = MIXERLINE_COMPONENTTYPE_DST_SPEAKERS;
  if (MMRESULT error = mixerGetLineInfoA(mixerDevice(mixerId), &line,
                                         MIXER_OBJECTF_MIXER | MIXER_GETLINEINFOF_COMPONENTTYPE))
    return error;
  MIXERLINECONTROLSA controls{};
  controls.cbStruct = sizeof(controls);
  controls.dwLineID = line.dwLineID;
  controls.dwControlType = MIXERCONTROL_CONTROLTYPE_MUTE;
  controls.cControls = 1;
  controls.cbmxctrl = sizeof(control);
  controls.pamxctrl = &control;
  return mixerGetLineControlsA(mixerDevice(mixerId), &controls,
                               MIXER_OBJECTF_MIXER | MIXER_GETLINECONTROLSF_ONEBYTYPE);
}

bool setMasterMute(UINT mixerId, bool mute) {
  MIXERCONTROLA control{};
  MMRESULT error = getMuteControl(mixerId, control);
  if (!error) {
    MIXERCONTROLDETAILS_BOOLEAN value{mute ? muteOn : muteOff};
    MIXERCONTROLDETAILS details{};
    details.cbStruct = sizeof(details);
    details.dwControlID = control.dwControlID;
    details.cChannels = 1;
    details.cMultipleItems = 0;
    details.cbDetails = sizeof(value);
    details.paDetails = &value;
    error = mixerSetControlDetails(mixerDevice(mixerId), &details,
                                   MIXER_OBJECTF_MIXER | MIXER_SETCONTROLDETAILSF_VALUE);
  }
  if (error) {
    std::string text = "multimedia system error " + std::to_string(error);
    MessageBoxA(nullptr, text.c_str(), "", MB_OK | MB_ICONHAND | MB_TASKMODAL);
  }
  return error == MMSYSERR_NOERROR;
}

void toggleMute() {
  // Since Windows Vista the mixer's controls reach only the messenger's own sounds: the
  // default playback endpoint first, the mixer where Core Audio is missing or fails.
  // After a mixer error the state and the button stay as they were, so the hint tells the truth.
  if (!setEndpointMute(!muteState) && !setMasterMute(0, !muteState)) return;
  muteState = !muteState;
  if (muteState)
    updateButton(mutedIcon, buttonIds[MuteRow], soundOnHint);
  else
    updateButton(soundIcon, buttonIds[MuteRow], soundOffHint);
}
