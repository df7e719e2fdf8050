#include "app/CMyMainApp.h"

#include "app/CMyMainDlg.h"
#include "platform/Encoding.h"
#include "ui/Ui.h"

BOOL CMyMainApp::InitInstance() {
    // The dialog owns the engine with its two 8 MiB buffers: it lives for this call only.
    CMyMainDlg dlg;
    dlg.DoModal();
    // The application ends with its window instead of running a message loop of its own.
    return FALSE;
}

BOOL CheckTextConverter() {
    if (platform::Cp932Available())
        return TRUE;
    // Not traced: the trace is CP932 too.
    ui::ShowBox("※文字コード変換 (CP932) が使えません。\n"
                      "ファイルの文字が壊れるため起動できません。");
    return FALSE;
}
