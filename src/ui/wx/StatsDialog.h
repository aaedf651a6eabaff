#pragma once

#include <wx/dialog.h>

#include "ui/StatsChart.h"

namespace strivo {

// The "跑量统计…" dialog on wx: the period choice, the line above the chart
// and the chart, which StatsChart lays out and draws onto a wxDC.
class StatsDialog : public wxDialog {
public:
    StatsDialog(wxWindow* parent, StatsChart& chart);
};

}  // namespace strivo
