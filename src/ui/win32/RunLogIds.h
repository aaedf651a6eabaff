// Ids of the run log's Windows resources and controls, read by its window
// and by res/strivo.rc (windres reads only #defines).
#pragma once

#define IDD_RUN_LOG 104
#define IDD_LOG_RESULTS 105
#define IDD_LOG_RUN 106

// The run log's window, top to bottom; the strip's figures take the ids
// from IDC_LOG_FIRST_FIGURE on.
#define IDC_LOG_YEAR_LABEL 1101
#define IDC_LOG_YEAR 1102
#define IDC_LOG_STATE_LABEL 1103
#define IDC_LOG_STATE 1104
#define IDC_LOG_LIST 1105
#define IDC_LOG_FOOTER 1106
#define IDC_LOG_STATUS 1107

// The import's result dialog.
#define IDC_RESULTS_SUMMARY 1110
#define IDC_RESULTS_FILES 1111

// A run in full; its action buttons take the ids from IDC_RUN_FIRST_ACTION on.
#define IDC_RUN_FIELDS 1120
#define IDC_RUN_POSTS_LABEL 1121
#define IDC_RUN_POSTS 1122
#define IDC_RUN_FIRST_ACTION 1130

#define IDC_LOG_FIRST_FIGURE 1140
