#include "jobs/WindowPlaces.h"

#include "jobs/StoreAccess.h"

namespace strivo::jobs {

Result<std::optional<WindowPlace>> ReadWindowPlace(const Workspace& where,
                                                   std::string_view window) {
    if (!where.StoreExists()) {
        return std::optional<WindowPlace>();
    }
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    return (*store)->PlaceOf(window);
}

Outcome KeepWindowPlace(const Workspace& where, std::string_view window, const WindowPlace& place) {
    Result<std::unique_ptr<RunStore>> store = OpenStore(where);
    if (!store) {
        return store.problem();
    }
    return (*store)->KeepPlace(window, place);
}

}  // namespace strivo::jobs
