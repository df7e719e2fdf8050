#include "res/Dialogs.h"

#include "platform/WinTypes.h"
#include "res/Resource.h"

using namespace ui;

namespace {
constexpr const char* kFont = "ＭＳ Ｐゴシック";
constexpr unsigned kNameBox = kStyleAutoScroll | kStyleBorder | kStyleTabStop;
// The read-only lines are for reading: Tab passes them by.
constexpr unsigned kSizeBox = kStyleReadOnly | kStyleRight;
constexpr unsigned kLabel = kStyleCentre | kStyleSunken;
constexpr unsigned kButton = kStyleTabStop;
} // namespace

const DialogTemplate& MainDialogTemplate() {
    static const DialogTemplate dlg{
        IDD_OCTWTCH_DIALOG,
        "Octetwatch Version " OCTW_VERSION,
        251,
        159,
        kFont,
        9,
        {
            {IDOK, ControlKind::PushButton, "終了", 195, 106, 50, 15, kButton | kStyleDefault},
            {kIdStatic, ControlKind::Label, "FILE A", 1, 2, 45, 15, kLabel},
            {kIdStatic, ControlKind::Label, "FILE B", 1, 34, 45, 15, kLabel},
            {kIdStatic, ControlKind::Label, "LOG FILE", 1, 66, 45, 15, kLabel},
            {IDC_EDIT_FILE_A, ControlKind::Edit, "", 48, 2, 147, 15, kNameBox},
            {IDC_EDIT_FILE_B, ControlKind::Edit, "", 48, 34, 147, 15, kNameBox},
            {IDC_EDIT_LOG_FILE, ControlKind::Edit, "", 48, 66, 147, 15, kNameBox},
            {IDC_BTN_FILE_A, ControlKind::PushButton, "選択", 207, 2, 43, 15, kButton},
            {IDC_BTN_FILE_B, ControlKind::PushButton, "選択", 207, 34, 43, 15, kButton},
            {IDC_BTN_LOG_FILE, ControlKind::PushButton, "選択", 207, 66, 43, 15, kButton},
            {IDC_BTN_EXECUTE, ControlKind::PushButton, "実行", 5, 106, 100, 15, kButton},
            {IDC_PROGRESS, ControlKind::Progress, "", 5, 86, 240, 15, kStyleSmooth | kStyleBorder},
            {IDC_BTN_STOP, ControlKind::PushButton, "中止", 116, 106, 50, 15,
             kButton | kStyleHidden},
            {IDC_EDIT_OUTPUT, ControlKind::Edit, "", 5, 142, 240, 14,
             kStyleReadOnly | kStyleCentre | kStyleBorder},
            {IDC_CHK_DISP_DIFF, ControlKind::CheckBox, "異なるデータがあったら表示する", 7, 125,
             114, 16, kButton},
            {IDC_EDIT_SIZE_A, ControlKind::Edit, "", 82, 17, 105, 15, kSizeBox},
            {IDC_EDIT_SIZE_B, ControlKind::Edit, "", 82, 49, 105, 15, kSizeBox},
            {IDC_CHK_MAKE_DB, ControlKind::CheckBox, "データベースを作成する", 127, 125, 118, 16,
             kButton},
            {IDC_BTN_REPAIR_A, ControlKind::PushButton, "↑", 48, 18, 15, 15, kButton},
            {IDC_BTN_REPAIR_B, ControlKind::PushButton, "↓", 67, 18, 15, 15, kButton},
            {IDC_ICON_A, ControlKind::Icon, "", 196, 4, 20, 20, kStyleNone, IDR_MAINFRAME},
            {IDC_ICON_B, ControlKind::Icon, "", 196, 36, 20, 20, kStyleNone, IDR_MAINFRAME},
            {IDC_ICON_LOG, ControlKind::Icon, "", 196, 68, 20, 20, kStyleNone, IDR_MAINFRAME},
        },
    };
    return dlg;
}

const DialogTemplate& AboutDialogTemplate() {
    static const DialogTemplate dlg{
        IDD_ABOUTBOX,
        "Octetwatchのﾊﾞｰｼﾞｮﾝ情報",
        155,
        63,
        kFont,
        9,
        {
            {IDC_ICON_ABOUT, ControlKind::Icon, "", 11, 17, 20, 20, kStyleNone, IDR_MAINFRAME},
            {kIdStatic, ControlKind::Label, "Octetwatch Version " OCTW_VERSION, 40, 10, 110, 8,
             kStyleNone},
            {kIdStatic, ControlKind::Label, "ファイルをバイト単位で比較します", 40, 25, 110, 8,
             kStyleNone},
            {IDOK, ControlKind::PushButton, "OK", 54, 44, 50, 14, kButton | kStyleDefault},
        },
    };
    return dlg;
}

const DialogTemplate& OverwriteDialogTemplate() {
    static const DialogTemplate dlg{
        IDD_OVERWRITE,
        "Octetwatch 上書きの確認",
        175,
        75,
        kFont,
        9,
        {
            {IDCANCEL, ControlKind::PushButton, "いいえ", 90, 57, 50, 14, kButton},
            {IDOK, ControlKind::PushButton, "はい", 32, 57, 50, 14, kButton | kStyleDefault},
            {IDC_ICON_OVERWRITE, ControlKind::Icon, "", 6, 4, 20, 20, kStyleNone, IDR_MAINFRAME},
            {IDC_EDIT_MESSAGE, ControlKind::Edit, "", 35, 10, 130, 40,
             kStyleMultiline | kStyleCentre | kStyleReadOnly | kStyleTabStop},
        },
    };
    return dlg;
}

std::string LoadResString(int id) {
    if (id == IDS_ABOUTBOX)
        return "Octetwatch のﾊﾞｰｼﾞｮﾝ情報(&A)...";
    return {};
}
