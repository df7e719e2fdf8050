#include "app/CMyMainApp.h"

#include "app/CMyMainDlg.h"

BOOL CMyMainApp::InitInstance() {
    // The dialog owns the engine with its two 8 MiB buffers: it lives for this call only.
    CMyMainDlg dlg;
    dlg.DoModal();
    // The application ends with its window instead of running a message loop of its own.
    return FALSE;
}
