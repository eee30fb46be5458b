// winmm of the simulated Win32: the mixer's speakers line and its mute control, requests recorded.
#include "machine.h"

MMRESULT mixerGetLineInfoA(HMIXEROBJ mixer, MIXERLINEA *line, DWORD flags) {
  auto &mx = machine().mixer;
  mx.devices.push_back(mixer);
  mx.flags.push_back(flags);
  mx.lineRequests.push_back(*line);
  if (!mx.present || mixer != nullptr) return MMSYSERR_BADDEVICEID;
  if (flags != MIXER_GETLINEINFOF_COMPONENTTYPE || !mx.hasSpeakers ||
      line->dwComponentType != MIXERLINE_COMPONENTTYPE_DST_SPEAKERS)
    return MIXERR_INVALLINE;
  line->dwLineID = mx.speakersLineId;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerGetLineControlsA(HMIXEROBJ mixer, MIXERLINECONTROLSA *controls, DWORD flags) {
  auto &mx = machine().mixer;
  mx.devices.push_back(mixer);
  mx.flags.push_back(flags);
  mx.controlRequests.push_back(*controls);
  if (!mx.present || mixer != nullptr) return MMSYSERR_BADDEVICEID;
  if (controls->dwLineID != mx.speakersLineId) return MIXERR_INVALLINE;
  if (flags != MIXER_GETLINECONTROLSF_ONEBYTYPE || !mx.hasMute ||
      controls->dwControlType != MIXERCONTROL_CONTROLTYPE_MUTE || controls->cControls != 1 ||
      controls->cbmxctrl < sizeof(MIXERCONTROLA) || !controls->pamxctrl)
    return MIXERR_INVALCONTROL;
  controls->pamxctrl->dwControlID = mx.muteControlId;
  return MMSYSERR_NOERROR;
}

MMRESULT mixerSetControlDetails(HMIXEROBJ mixer, MIXERCONTROLDETAILS *details, DWORD flags) {
  auto &mx = machine().mixer;
  mx.devices.push_back(mixer);
  mx.flags.push_back(flags);
  mx.setRequests.push_back(*details);
  if (details->cbDetails == sizeof(MIXERCONTROLDETAILS_BOOLEAN) && details->paDetails)
    mx.setValues.push_back(static_cast<MIXERCONTROLDETAILS_BOOLEAN *>(details->paDetails)->fValue);
  if (!mx.present || mixer != nullptr) return MMSYSERR_BADDEVICEID;
  if (details->dwControlID != mx.muteControlId) return MIXERR_INVALCONTROL;
  return mx.setResult;
}

sim::Mixer &sim::mixer() {
  return machine().mixer;
}
