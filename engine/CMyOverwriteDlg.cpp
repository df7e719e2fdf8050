#include "engine/CMyOverwriteDlg.h"

#include "platform/Format.h"
#include "ui/Ui.h"
#include "res/Dialogs.h"

void CMyOverwriteDlg::SetMessage(const char* pFileName) {
    if (pFileName == nullptr) {
        m_strMessage = kDefaultMessage;
        return;
    }
    m_strMessage = platform::Format(
        "※同名のログファイル\r\n[ %s ]\r\nが存在します。上書きしますか?", pFileName);
}

int CMyOverwriteDlg::DoModal() {
    const int result = ui::Ui().OverwriteQuestion(OverwriteDialogTemplate(), m_strMessage);
    // Closing the dialog either way brings the question back to its first form.
    m_strMessage = kDefaultMessage;
    return result;
}
