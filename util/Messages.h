#pragma once
// Messages the engine, the worker and the repair post to the main window.
#include "platform/WinTypes.h"

constexpr UINT WM_DIFF_ADRS = WM_USER + 100;       // 1124: wParam/lParam = address low/high
constexpr UINT WM_DIFF_DATA = WM_USER + 101;       // 1125: byte of FILE A, byte of FILE B
constexpr UINT WM_DIFF_COUNT = WM_USER + 102;      // 1126: running count low/high
constexpr UINT WM_ENABLE_CTRLS = WM_USER + 110;    // 1134
constexpr UINT WM_DISABLE_CTRLS = WM_USER + 111;   // 1135
constexpr UINT WM_SHOW_REPAIR_BTN = WM_USER + 112; // 1136
constexpr UINT WM_HIDE_REPAIR_BTN = WM_USER + 113; // 1137
constexpr UINT WM_THREAD_END = WM_USER + 114;      // 1138

// The three messages of one difference shown live, which backends may gather or merge.
constexpr bool IsLiveDisplayMessage(UINT message) {
    return message == WM_DIFF_ADRS || message == WM_DIFF_DATA || message == WM_DIFF_COUNT;
}
