// The program's string table.
#pragma once

#include <utility>
#include <vector>

#include "platform/qt/win_types.h"

const std::vector<std::pair<UINT, const char*>>& ProgramStrings();
