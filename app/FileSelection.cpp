// The three select buttons, measuring FILE A and FILE B, the size lines, the status icons and
// the writability check before a run.
#include "app/CMyMainDlg.h"

#include "platform/FileHandle.h"
#include "platform/FileStatus.h"
#include "platform/Format.h"
#include "platform/LowFile.h"
#include "platform/SameFile.h"
#include "util/PathUtil.h"
#include "util/RemoteName.h"
#include "util/SizeText.h"
#include "util/Trace.h"

#include <cerrno>

using ui::Ui;

CommandResult CMyMainDlg::OnBtnFileA() { return OnBtnFile(TRUE); }

CommandResult CMyMainDlg::OnBtnFileB() { return OnBtnFile(FALSE); }

CommandResult CMyMainDlg::OnBtnFile(BOOL bFileA) {
    std::string strPath;
    if (!Ui().OpenFileDialog(bFileA ? m_strFoldA : m_strFoldB, &strPath))
        return {};
    ShowRepairBtn(FALSE);
    (bFileA ? m_editFileA : m_editFileB).SetWindowText(strPath);
    m_ctrlProgress.SetPos(0);
    if (GetFileSize64(strPath.c_str(), bFileA) != 0)
        return ShowSizingFailure(bFileA, strPath, CommandOutcome::kUnmeasurable);
    ShowFileSize(bFileA ? m_FileData.i64SizeA : m_FileData.i64SizeB, bFileA);
    std::string strFile;
    if (!IsRemoteName(strPath))
        SplitFileAndFold(strPath.c_str(), &strFile, bFileA ? &m_strFoldA : &m_strFoldB);
    if (bFileA) {
        m_bSelectedA = TRUE;
        UpdateStatusIcons(0);
    } else {
        m_bSelectedB = TRUE;
        UpdateStatusIcons(1);
    }
    return FileResult(CommandOutcome::kSelected, bFileA ? 0 : 1, strPath, 0);
}

CommandResult CMyMainDlg::OnBtnLogFile() {
    std::string strFile, strFold;
    SplitFileAndFold(m_strLogFile.c_str(), &strFile, &strFold);
    std::string strPath;
    if (!Ui().SaveFileDialog(strFold, &strPath))
        return {};
    if (strPath == m_DiffDataBase.GetFileName()) {
        ui::ShowBox("※データベースファイルと同じファイル名は使えません。\n");
        return FileResult(CommandOutcome::kLogIsBase, 2, strPath, 0);
    }
    m_editLogFile.SetWindowText(strPath);
    m_ctrlProgress.SetPos(0);
    m_strLogFile = strPath;
    m_bSelectedLog = TRUE;
    UpdateStatusIcons(2);
    return FileResult(CommandOutcome::kSelected, 2, strPath, 0);
}

int CMyMainDlg::GetFileSizeA64(const char* pPath) { return GetFileSize64(pPath, TRUE); }

int CMyMainDlg::GetFileSizeB64(const char* pPath) { return GetFileSize64(pPath, FALSE); }

int CMyMainDlg::GetFileSize64(const char* pPath, BOOL bFileA) {
    std::string& strPath = bFileA ? m_FileData.strFileA : m_FileData.strFileB;
    std::int64_t& i64Size = bFileA ? m_FileData.i64SizeA : m_FileData.i64SizeB;
    BOOL& bOpen = bFileA ? m_FileData.bOpenA : m_FileData.bOpenB;
    m_nSizeError = 0;
    if (pPath == nullptr) {
        WriteTrace(bFileA ? "引数が無効。GetFileSizeA64()\n" : "引数が無効。GetFileSizeB64()\n");
        strPath.clear();
        i64Size = 0;
        bOpen = FALSE;
        m_nSizeError = EINVAL;
        return -1;
    }
    strPath = pPath;
    m_remoteFailure = {};
    if (IsRemoteName(strPath)) {
        // The server measures its file; the connection ends with the measuring, as a handle does.
        const auto pRemote =
            OpenRemoteFile(strPath, m_remote, remote::RemoteFile::kOpenRead, &m_remoteFailure);
        i64Size = pRemote ? pRemote->Size() : 0;
        bOpen = FALSE;
        if (!pRemote) {
            m_nSizeError = m_remoteFailure.m_bRefused ? m_remoteFailure.m_refusal.m_nErrno : EIO;
            return -1;
        }
        pRemote->Close();
        return 0;
    }
    // Only the end is sought: no data is read, so a file of many gigabytes is measured at once.
    platform::CFileHandle file =
        platform::CFileHandle::Open(strPath, platform::kOpenRead | platform::kOpenCompared);
    if (!file.IsOpen()) {
        m_nSizeError = platform::LastError();
        i64Size = 0;
        bOpen = FALSE;
        return -1;
    }
    bOpen = TRUE;
    const std::int64_t i64End = platform::FileSeek(file.Get(), 0, platform::kSeekEnd);
    if (i64End == -1) {
        m_nSizeError = platform::LastError();
        TraceSeekError();
    }
    file.Close();
    bOpen = FALSE;
    i64Size = i64End == -1 ? 0 : i64End;
    return i64End == -1 ? -1 : 0;
}

CommandResult CMyMainDlg::ShowSizingFailure(BOOL bFileA, const std::string& strPath,
                                            CommandOutcome outcome) {
    static constexpr const char* kOnlyFiles =
        "比較できるのは通常のファイルとブロックデバイスだけです。";
    CommandResult result;
    result.m_outcome = outcome;
    result.m_nFile = bFileA ? 0 : 1;
    result.m_strPath = strPath;
    result.m_nErrno = m_nSizeError;
    if (IsRemoteName(strPath))
        result.m_strRemoteWhy = m_remoteFailure.m_strWhy;
    std::string strReason;
    platform::FileStatus status;
    std::string strFile, strFold;
    const bool bRemote = IsRemoteName(strPath);
    // A remote file is looked at by its server: what it found stands for what is found here.
    const bool bFound = bRemote ? m_remoteFailure.m_refusal.m_bExists
                                : platform::GetFileStatus(strPath, &status);
    if (bRemote)
        status.m_kind = m_remoteFailure.m_refusal.m_kind;
    if (bFound)
        result.m_kind = status.m_kind;
    if (bRemote && !m_remoteFailure.m_bRefused) {
        strReason = "接続できません。" + m_remoteFailure.m_strWhy;
    } else if (!bRemote && !SplitFileAndFold(strPath.c_str(), &strFile, &strFold)) {
        // A name without a folder is taken from wherever the program was started.
        strReason = "フォルダを含む名前 (/ で始まる名前) を指定してください。";
    } else if (!bFound) {
        strReason = m_nSizeError == EACCES ? "フォルダへのアクセスが許可されていません。"
                                           : "ファイルが見つかりません。";
    } else if (status.m_kind == platform::FileKind::Folder) {
        strReason = "フォルダです。比較するファイルを指定してください。";
    } else if (status.m_kind == platform::FileKind::Fifo) {
        strReason = std::string("名前付きパイプです。") + kOnlyFiles;
    } else if (status.m_kind == platform::FileKind::Socket) {
        strReason = std::string("ソケットです。") + kOnlyFiles;
    } else if (status.m_kind != platform::FileKind::Regular &&
               status.m_kind != platform::FileKind::BlockDevice) {
        strReason = std::string("通常のファイルではありません。") + kOnlyFiles;
    } else if (m_nSizeError == EACCES || m_nSizeError == EPERM) {
        strReason = "読み取りが許可されていません。";
    } else {
        strReason = platform::Format("開けません。errno[%d]", m_nSizeError);
    }
    // Neither the size line nor the icon may go on describing the file named before.
    ShowFileSize(-1, bFileA);
    (bFileA ? m_nStatusA : m_nStatusB) = 0;
    SetStatusIcon(bFileA ? 0 : 1, 0);
    const std::string strText = platform::Format(
        "%s\n\t[ %s ]\n%s", bFileA ? "ファイルAのサイズ取得に失敗。" : "ファイルBのサイズ取得に失敗。",
        strPath.c_str(), strReason.c_str());
    TraceAndShow(strText);
    return result;
}

void CMyMainDlg::TraceSeekError() {
    const int nErr = platform::LastError();
    switch (nErr) {
    case EBADF:
        WriteTrace("※ _lseeki64のエラー: ファイル ハンドルが無効\n");
        break;
    case EINVAL:
        WriteTrace("※ _lseeki64のエラー: origin の値が無効か、または offset "
                   "の値がファイルの先頭より前\n");
        break;
    default:
        WriteTrace(platform::Format("※ _lseeki64のエラー: errno[%d]\n", nErr));
        break;
    }
}

void CMyMainDlg::ShowFileSize(std::int64_t i64Size, BOOL bFileA) {
    const ui::CControl& box = bFileA ? m_editSizeA : m_editSizeB;
    if (i64Size < 0) {
        box.SetWindowText(bFileA ? "※ファイルA: サイズエラー" : "※ファイルB: サイズエラー");
        return;
    }
    box.SetWindowText(platform::Format("└ %s Byte", GroupedDigits(i64Size).c_str()));
}

BOOL CMyMainDlg::RefreshFileInfo(int nFile) {
    if (nFile != 0 && nFile != 1)
        return FALSE;
    const BOOL bFileA = nFile == 0 ? TRUE : FALSE;
    // The user may have typed or dropped a name since the last selection.
    const std::string strText = (bFileA ? m_editFileA : m_editFileB).GetWindowText();
    if (GetFileSize64(strText.c_str(), bFileA) != 0)
        return FALSE;
    (bFileA ? m_FileData.strFileA : m_FileData.strFileB) = strText;
    std::string strFile, strFold;
    if (IsRemoteName(strText)) {
        ShowFileSize(bFileA ? m_FileData.i64SizeA : m_FileData.i64SizeB, bFileA);
        return TRUE; // its folder is the far side's: no file dialog opens there
    }
    if (!SplitFileAndFold(strText.c_str(), &strFile, &strFold))
        return FALSE;
    if (bFileA) {
        m_strFoldA = strFold;
        WriteTrace(platform::Format("○　ファイルAのフォルダデータ[%s]\n", m_strFoldA.c_str()));
    } else {
        m_strFoldB = strFold;
        WriteTrace(platform::Format("○　ファイルBのフォルダデータ[%s]\n", m_strFoldB.c_str()));
    }
    ShowFileSize(bFileA ? m_FileData.i64SizeA : m_FileData.i64SizeB, bFileA);
    return TRUE;
}

BOOL CMyMainDlg::UpdateStatusIcons(int nFile) {
    if (nFile < -1 || nFile > 2)
        return TRUE;
    const std::string strLogFile = m_editLogFile.GetWindowText();
    struct Entry {
        BOOL m_bSelected;
        const std::string& m_strPath;
        int& m_nStatus;
    };
    const Entry entries[] = {
        {m_bSelectedA, m_FileData.strFileA, m_nStatusA},
        {m_bSelectedB, m_FileData.strFileB, m_nStatusB},
        // The log as its box names it: the one the next run writes.
        {m_bSelectedLog, strLogFile, m_nStatusLog},
    };
    for (int n = 0; n < 3; ++n) {
        if (nFile != -1 && nFile != n)
            continue;
        const Entry& e = entries[n];
        int nStatus = 0;
        if (e.m_bSelected) {
            // -1: the status cannot be read, typically because the file does not exist.
            const int nReadOnly = IsFileReadOnly(e.m_strPath.c_str());
            if (nReadOnly == 1)
                nStatus = 2;
            else if (nReadOnly == 0)
                nStatus = 1;
        }
        e.m_nStatus = nStatus;
        SetStatusIcon(n, nStatus);
    }
    return TRUE;
}

void CMyMainDlg::SetStatusIcon(int nWhich, int nStatus) {
    const ui::CControl* pIcon = nullptr;
    switch (nWhich) {
    case 0:
        pIcon = &m_stcIconA;
        break;
    case 1:
        pIcon = &m_stcIconB;
        break;
    case 2:
        pIcon = &m_stcIconLog;
        break;
    default:
        return;
    }
    switch (nStatus) {
    case 1:
        pIcon->SetIcon(IDI_WRITABLE);
        break;
    case 2:
        pIcon->SetIcon(IDI_READONLY);
        break;
    default:
        pIcon->SetIcon(IDR_MAINFRAME);
        break;
    }
}

BOOL CMyMainDlg::CheckWritable(CommandResult* pResult) {
    m_nRepairable = 0;
    // Whether the far side lets its file be written is known only when the repair opens it there,
    // which then refuses it with the reason.
    if (IsRemoteName(m_FileData.strFileA) || IsFileReadOnly(m_FileData.strFileA.c_str()) == 0)
        m_nRepairable |= 1;
    if (IsRemoteName(m_FileData.strFileB) || IsFileReadOnly(m_FileData.strFileB.c_str()) == 0)
        m_nRepairable |= 2;
    // The log the run writes, as its box names it; a log that does not exist yet is fine.
    const BOOL bLogReadOnly = IsFileReadOnly(m_FileData.strLogFile.c_str()) == 1 ? TRUE : FALSE;

    if (m_nRepairable == 0 && m_bUseDataBase) {
        const int nAnswer = ui::AskYesNo(
            "※両ファイルともに書き込み不能です。\r\n　データベースを作成しても修正出来ませんが\r\n"
            "　このまま実行しますか?",
            ui::BoxIcon::Question);
        if (nAnswer != IDYES) {
            if (pResult != nullptr)
                pResult->m_outcome = CommandOutcome::kExecDeclined;
            return FALSE;
        }
        WriteTrace("(!)両ファイルともに書き込み不能ですが比較実行します\n");
    }
    if (bLogReadOnly) {
        const std::string strText =
            platform::Format("※不一致情報を書き込むテキストファイルが書き込み不能です。\n\t[ %s ]\n",
                             m_FileData.strLogFile.c_str());
        TraceAndShow(strText);
        if (pResult != nullptr)
            *pResult = FileResult(CommandOutcome::kExecLogReadOnly, 2, m_FileData.strLogFile, 0);
        return FALSE;
    }
    return TRUE;
}

BOOL CMyMainDlg::CheckLogName(CommandResult* pResult) {
    // The run empties its log before it writes: the database would be lost with it, the trace
    // would be written into it, the settings replaced by it.
    const struct {
        std::string m_strPath;
        const char* m_pText;
        CommandOutcome m_outcome;
    } owns[] = {
        {m_strDBFile, "※ログファイルにデータベースファイルは指定できません。\n",
         CommandOutcome::kExecLogIsDataBase},
        {g_strTracePath, "※ログファイルにトレースファイルは指定できません。\n",
         CommandOutcome::kExecLogIsTrace},
        {SettingsPath(), "※ログファイルに設定ファイルは指定できません。\n",
         CommandOutcome::kExecLogIsSettings},
    };
    for (const auto& own : owns) {
        if (own.m_strPath.empty() || !platform::SameFile(m_FileData.strLogFile, own.m_strPath))
            continue;
        TraceAndShow(own.m_pText);
        if (pResult != nullptr)
            *pResult = FileResult(own.m_outcome, 2, m_FileData.strLogFile, 0);
        return FALSE;
    }
    return TRUE;
}
