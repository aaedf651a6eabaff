#pragma once

#include <string>

#include "model/Progress.h"
#include "text/Catalog.h"

// How an import is summed up, in one place for both faces: strivo-cli says
// it in the user's language, the window in Chinese.
namespace strivo {

// "Imported 5 runs from 3 files: 1 already stored, 0 files unreadable, 2
// activities of other sports skipped." (UTF-8), each count in its plural
// form, and the files that hold no activity, the activities that are no run
// and the stored runs given calories counted when there are any: in
// `catalog` (null: English).
std::string ImportSummary(const MessageCatalog* catalog, const ImportCounts& counts);

}  // namespace strivo
