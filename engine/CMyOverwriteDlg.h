#pragma once
// The question asked before an existing result log is overwritten (dialog 129).
#include <string>

class CMyOverwriteDlg {
public:
    static constexpr const char* kDefaultMessage = "※同名のログファイルが存在します。\n上書きしますか?";

    CMyOverwriteDlg() = default;
    // With a name: the question names the file; with none: the default question.
    void SetMessage(const char* pFileName);
    // IDOK (Yes) or IDCANCEL (No, Esc, the close box).
    int DoModal();

    std::string m_strMessage = kDefaultMessage;
};
