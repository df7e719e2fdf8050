#pragma once
// Stands the program in a temporary folder of its own: the executable's folder, and with it the
// trace file, the default log, the database and the settings file, all lie there (portable use,
// as the start-up chooses it for a folder this user can write).
#include "TestSupport.h"

#include "platform/FileStatus.h"
#include "util/PathUtil.h"
#include "util/ProgramFolds.h"
#include "util/Trace.h"

namespace testsupport {

class ProgramFolder {
public:
    ProgramFolder() {
        platform::OverrideExecutablePath(m_dir / "octetwatch");
        g_strModuleFold = m_dir.Str();
        g_strTracePath = m_dir / "DataTrace.txt";
        g_ProgramFolds = ChooseProgramFolds(
            {m_dir.Str(), TRUE, "", "", "", "", platform::OwnerOfFold(m_dir.Str()),
             platform::UserId()});
    }
    ~ProgramFolder() {
        platform::OverrideExecutablePath("");
        g_strTracePath.clear();
        g_strModuleFold.clear();
        g_ProgramFolds = PROGRAMFOLDS{};
    }
    std::string operator/(const std::string& name) const { return m_dir / name; }
    std::string Str() const { return m_dir.Str(); }
    std::string Trace() const { return ReadFile(m_dir / "DataTrace.txt"); }

private:
    TempDir m_dir;
};

} // namespace testsupport
