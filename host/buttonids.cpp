#include "host/buttonids.h"

std::array<std::int32_t, ButtonRowCount> buttonIds{};
