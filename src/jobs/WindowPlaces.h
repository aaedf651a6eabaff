#pragma once

#include <optional>
#include <string_view>

#include "jobs/Workspace.h"
#include "model/Result.h"
#include "model/WindowPlace.h"

namespace strivo::jobs {

// Where a window (by name: "run-log") was last left, kept in the store, not
// in the settings file. Reading makes no store where there is none.
Result<std::optional<WindowPlace>> ReadWindowPlace(const Workspace& where, std::string_view window);
Outcome KeepWindowPlace(const Workspace& where, std::string_view window, const WindowPlace& place);

}  // namespace strivo::jobs
