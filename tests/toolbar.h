#pragma once
// The toolbar as the player buttons' tests set it up: every switch on, the buttons' places, and
// the play and the mute buttons' two looks each.
#include <cstddef>
#include <cstdint>
#include <string>

// Registration positions with every switch on; the messenger hands out ids from 101.
enum : std::size_t { Send, Prev, Rew, Play, Fwd, Next, Open, Mute, VDn, VUp };
inline constexpr std::int32_t playButtonId = 101 + Play;

inline const std::string allOn =
    "button-send=yes\r\nbutton-prev=yes\r\nbutton-rew=yes\r\nbutton-play=yes\r\n"
    "button-fwd=yes\r\nbutton-next=yes\r\nbutton-open=yes\r\n"
    "button-mute=yes\r\nbutton-v_dn=yes\r\nbutton-v_up=yes\r\n";
inline const std::string playHint = "\xC2\xEE\xF1\xEF\xF0\xEE\xE8\xE7\xE2\xE5\xE4\xE5\xED\xE8\xE5";
inline const std::string pauseHint = "\xCF\xE0\xF3\xE7\xE0";
inline const std::string soundOnHint =
    "\xC2\xEA\xEB\xFE\xF7\xE8\xF2\xFC \xE7\xE2\xF3\xEA"; // "Switch the sound on"
inline const std::string soundOffHint =
    "\xC2\xFB\xEA\xEB\xFE\xF7\xE8\xF2\xFC \xE7\xE2\xF3\xEA"; // "Switch the sound off"
