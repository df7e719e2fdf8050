#include "app/CommandResult.h"

#include "util/RemoteName.h"

CommandResult FileResult(CommandOutcome outcome, int nFile, const std::string& strPath,
                         int nErrno) {
    CommandResult result;
    result.m_outcome = outcome;
    result.m_nFile = nFile;
    result.m_strPath = strPath;
    result.m_nErrno = nErrno;
    platform::FileStatus status;
    // A file on another machine is looked at by its server, never here.
    if (!IsRemoteName(strPath) && platform::GetFileStatus(strPath, &status))
        result.m_kind = status.m_kind;
    return result;
}
