#pragma once
// The toolbar buttons: one table, registered forwards at initialise and removed backwards
// at finalise.
#include "host/buttonids.h"
#include "host/requests.h"
#include "settings/settings.h"

#include <array>
#include <cstdint>
#include <string_view>

struct Button {
  std::int32_t Settings::*enabled;
  int iconId;
  std::string_view hint;
  ButtonHandler handler;
};

extern const std::array<Button, ButtonRowCount> buttonTable;

void registerButtons();
void removeButtons();
