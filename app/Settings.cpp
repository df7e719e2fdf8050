// The five-line settings file "octwtch.ini", beside the executable or in the user's settings
// folder (util/ProgramFolds.h).
#include "app/CMyMainDlg.h"

#include "platform/LowFile.h"
#include "platform/TextFile.h"
#include "util/ProgramFolds.h"

namespace {
constexpr const char* kDisplayTrue = "DisplayDifferentData=TRUE";
constexpr const char* kDisplayFalse = "DisplayDifferentData=FALSE";
constexpr const char* kUseDBTrue = "UseDataBase=TRUE";
constexpr const char* kUseDBFalse = "UseDataBase=FALSE";
} // namespace

std::string CMyMainDlg::SettingsPath() const {
    return g_ProgramFolds.strSettingsFold + "/" + kSettingsName;
}

int CMyMainDlg::ReadSettings() {
    const std::string strPath = SettingsPath();
    UpdateData(TRUE);

    platform::CTextFile file;
    if (!OwnFileUsable(strPath) || !file.Open(strPath, platform::CTextFile::modeReadWriteKeep,
                                              nullptr, platform::kOpenNoFollow)) {
        // Whatever kept it from being read, what is in memory now is no picture of it.
        m_bSettingsUnreadable = TRUE;
        return -1;
    }

    // An empty line counts as missing, as the end of the file does. A missing line rewrites the
    // file from what is in memory now, and only then are the defaults applied in memory: the
    // folders when line 1 or 2 is missing, the display when any line up to 4 is, the database
    // always. A read error ends the reading with what was read so far.
    enum Missing { kFolders, kDisplay, kDataBase };
    std::string strLine;
    auto missing = [&](Missing what) {
        platform::FileError error;
        if (!file.ReadString(strLine, &error) && error.m_cause != platform::kCauseNone) {
            // Not a missing line: the file is left alone and nothing is defaulted.
            m_bSettingsUnreadable = TRUE;
            return true;
        }
        if (!strLine.empty())
            return false;
        file.Close();
        WriteSettings();
        if (what == kFolders) {
            m_strFoldA = g_ProgramFolds.strBrowseFold;
            m_strFoldB = g_ProgramFolds.strBrowseFold;
        }
        if (what != kDataBase)
            m_bDisplayDiff = FALSE;
        m_bUseDataBase = TRUE;
        return true;
    };

    if (missing(kFolders))
        return -1;
    m_strFoldA = strLine;
    if (missing(kFolders))
        return -1;
    m_strFoldB = strLine;
    if (missing(kDisplay))
        return -1;
    m_strLogFile = strLine;
    if (missing(kDisplay))
        return -1;
    m_bDisplayDiff = strLine == kDisplayTrue ? TRUE : FALSE;
    if (missing(kDataBase))
        return -1;
    m_bUseDataBase = strLine == kUseDBTrue ? TRUE : FALSE;
    file.Close();
    return 0;
}

int CMyMainDlg::WriteSettings() {
    platform::CTextFile file;
    const std::string strPath = SettingsPath();
    if (!OwnFileUsable(strPath) ||
        !file.Open(strPath, platform::CTextFile::modeWrite, nullptr, platform::kOpenNoFollow))
        return -1;
    // One write, so a failure cannot leave some lines behind and report success.
    std::string strText = m_strFoldA + "\n" + m_strFoldB + "\n" + m_strLogFile + "\n";
    strText += m_bDisplayDiff ? kDisplayTrue : kDisplayFalse;
    strText += "\n";
    strText += m_bUseDataBase ? kUseDBTrue : kUseDBFalse;
    strText += "\n";
    if (!file.WriteString(strText))
        return -1;
    file.Flush();
    file.Close();
    return 0;
}
