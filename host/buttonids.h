#pragma once
// The ids the messenger gave to the toolbar buttons, one per row of the button table; the
// handlers that change a button's look find its id here.
#include <array>
#include <cstddef>
#include <cstdint>

enum ButtonRow : std::size_t {
  SendRow,
  PrevRow,
  RewRow,
  PlayRow,
  FwdRow,
  NextRow,
  OpenRow,
  MuteRow,
  VDnRow,
  VUpRow,
  ButtonRowCount
};

// 0 while a row is not registered.
extern std::array<std::int32_t, ButtonRowCount> buttonIds;
