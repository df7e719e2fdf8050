#include "app/CommandResult.h"

CommandResult FileResult(CommandOutcome outcome, int nFile, const std::string& strPath,
                         int nErrno) {
    CommandResult result;
    result.m_outcome = outcome;
    result.m_nFile = nFile;
    result.m_strPath = strPath;
    result.m_nErrno = nErrno;
    platform::FileStatus status;
    if (platform::GetFileStatus(strPath, &status))
        result.m_kind = status.m_kind;
    return result;
}
