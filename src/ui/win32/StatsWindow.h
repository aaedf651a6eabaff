#pragma once

#include <windows.h>

#include "ui/StatsChart.h"

namespace strivo {

// The "跑量统计…" dialog on Windows: the template IDD_STATS, modal to
// `owner`, its chart drawn by StatsChart through GDI.
void ShowStatsWindow(HWND owner, StatsChart& chart);

}  // namespace strivo
