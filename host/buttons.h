#pragma once
// The toolbar buttons: one table, registered forwards at initialise and removed backwards
// at finalise.
#include "host/requests.h"
#include "settings/settings.h"

#include <array>
#include <cstdint>
#include <string_view>

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

struct Button {
  std::int32_t Settings::*enabled;
  int iconId;
  std::string_view hint;
  ButtonHandler handler;
};

extern const std::array<Button, ButtonRowCount> buttonTable;

// The ids the messenger gave, one per row; 0 while a row is not registered.
extern std::array<std::int32_t, ButtonRowCount> buttonIds;

void registerButtons();
void removeButtons();
