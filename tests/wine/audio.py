"""The mute button: the default playback endpoint through Core Audio, and the mixer's way where
Core Audio is missing."""

import re

from checks import SOUND_OFF_LOOK, SOUND_ON_LOOK, check, find, observe, sane, update_looks


# Wine's trace of IAudioEndpointVolume::SetMute: the object, the setting and the context.
SET_MUTE_TRACE = re.compile(r"trace:mmdevapi:AEV_SetMute \((\w+)\)->\((\d+),\s*(\(null\)|[^)]*)\)")
# Wine's word when CoCreateInstance finds no class for the device enumerator.
NO_ENUMERATOR = "no class object {bcde0395-e52f-467c-8e3d-c4579291692e}"


def has_audio(lab, name):
    """A session that needs the lab's sound server fails, saying so, when there is none."""
    if lab.audio_problem:
        check(f"{name}: Wine has a playback device (the lab's PulseAudio server)", False,
              lab.audio_problem)
        return False
    return True


def mixer_mute_values(session):
    return [line.get("value", "failed " + str(line.get("failed"))) for line in
            find(session.lines, "mixer-mute")]


def core_audio_session(lab):
    """Windows Vista and later: the press mutes the default playback endpoint, and the
    messenger's own session mute control, which the mixer reaches, stays as it was."""
    if not has_audio(lab, "core-audio"):
        return
    steps = [["init"], ["mixer-mute"], ["press", "1"], ["mixer-mute"], ["press", "1"],
             ["mixer-mute"], ["fini"]]
    s = lab.session("core-audio", steps, [("button-mute", "yes")], debug="trace+mmdevapi")
    sane(s)
    set_mutes = [(m.group(2), m.group(3)) for m in SET_MUTE_TRACE.finditer(s.stderr)]
    check("each press reaches the default playback endpoint: Wine traces SetMute(1), then "
          "SetMute(0), without a context", set_mutes == [("1", "(null)"), ("0", "(null)")],
          str(set_mutes))
    check("the presses show no box and change the look to \"sound on\", then \"sound off\"",
          not find(s.lines, "box") and update_looks(s.segment(2))[0][1:] == (SOUND_ON_LOOK, "yes")
          and update_looks(s.segment(4))[0][1:] == (SOUND_OFF_LOOK, "yes"),
          f"{update_looks(s.segment(2))} {update_looks(s.segment(4))}")
    values = mixer_mute_values(s)
    check("the messenger's own session mute, as the mixer shows it, stays 0 through both presses",
          values == ["0", "0", "0"], str(values))
    observe(f"Wine's trace of the presses: {set_mutes}; the mixer's mute control read {values}")


def mixer_fallback_session(lab):
    """No Core Audio (mmdevapi switched off, which takes Wine's mixer away too): the mixer's
    way, its error box, and no change of the look, as on older systems without a mixer."""
    if not has_audio(lab, "mixer-fallback"):
        return
    steps = [["init"], ["press", "1"], ["press", "1"], ["fini"]]
    s = lab.session("mixer-fallback", steps, [("button-mute", "yes")], debug="trace+mmdevapi",
                    extra_env={"WINEDLLOVERRIDES": "mscoree=d;mshtml=d;mmdevapi=d"})
    sane(s)
    # Wine's mixer looks for the enumerator too, so the presses are not alone in that word.
    check("without Core Audio no press reaches an endpoint: the device enumerator's class is "
          "not there, and nothing is traced as SetMute",
          s.stderr.count(NO_ENUMERATOR) >= 2 and not SET_MUTE_TRACE.search(s.stderr),
          f"{s.stderr.count(NO_ENUMERATOR)} times: {NO_ENUMERATOR}")
    for index, which in ((1, "first"), (2, "second")):
        boxes = find(s.segment(index), "box")
        text = boxes[0].bytes("text") if len(boxes) == 1 else b""
        m = re.fullmatch(rb"multimedia system error (\d+)", text)
        check(f"without Core Audio ({which} press): the mixer's way, one mixer error box, no "
              "change of the button's look",
              m and boxes[0].get("icon") == "hand" and boxes[0].bytes("caption") == b""
              and boxes[0].get("messenger-window") == "disabled"
              and not update_looks(s.segment(index)),
              f"{[b.text for b in boxes]} {update_looks(s.segment(index))}")
        if m and which == "first":
            observe(f"Wine without Core Audio: the box reads \"{text.decode()}\"")
