#include "ui/RunLogController.h"

namespace strivo {

struct RunLogController::State {};

RunLogController::RunLogController(RunLogHost host)
    : m_host(std::move(host)), m_state(std::make_unique<State>()) {}

RunLogController::~RunLogController() = default;

void RunLogController::Start(RunLogSurface& surface) {
    m_surface = &surface;
    m_surface->Raise();
}

void RunLogController::Raise() {
    if (m_surface != nullptr && !m_closing) {
        m_surface->Raise();
    }
}

std::size_t RunLogController::RowCount() const {
    return 0;
}

std::string RunLogController::Cell(std::size_t, std::size_t) const {
    return {};
}

std::string RunLogController::ToolTip(std::size_t, std::size_t) const {
    return {};
}

void RunLogController::OnHeaderClicked(std::size_t) {}
void RunLogController::OnChoice(RunLogFilter, std::size_t) {}
void RunLogController::OnSelectionChanged() {}
void RunLogController::OnRowActivated(std::size_t) {}
void RunLogController::OnContextMenu() {}

bool RunLogController::OnKey(RunLogKey) {
    return false;
}

std::vector<Menu> RunLogController::MenuBar() const {
    return {};
}

bool RunLogController::MenuEnabled(int) const {
    return false;
}

void RunLogController::OnMenu(int) {}
void RunLogController::OnFilesDropped(std::vector<std::filesystem::path>) {}
void RunLogController::OnFieldsChanged() {}
void RunLogController::OnRunsChanged() {}

void RunLogController::Close() {
    if (m_closing) {
        return;
    }
    m_closing = true;
    m_closed = true;
    if (m_surface != nullptr) {
        m_surface->CloseWindow();
    }
    if (m_host.closed) {
        m_host.closed();
    }
}

}  // namespace strivo
