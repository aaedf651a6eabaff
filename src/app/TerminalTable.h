#pragma once

#include <string>
#include <vector>

#include "jobs/RunTable.h"

namespace strivo {

// The run table as UTF-8 text for a terminal: a title line, then one line per
// row, columns aligned by display width (a Chinese character takes two).
std::string FormatRunTable(const RunRows& rows);

// Display width of a CP936 text: one per single byte, two per double-byte character.
std::size_t DisplayWidth(std::string_view cp936);

}  // namespace strivo
