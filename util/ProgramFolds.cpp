#include "util/ProgramFolds.h"

#include "platform/FileStatus.h"
#include "platform/Format.h"
#include "ui/Ui.h"
#include "util/PathUtil.h"

#include <cerrno>

PROGRAMFOLDS g_ProgramFolds;

namespace {

constexpr const char* kProgramName = "octetwatch";

// The FHS keeps /usr and /opt read-only while programs run: a program installed there keeps its
// files in the user's folders even when the user (root) could write beside it.
bool IsSystemFold(const std::string& fold) {
    for (const std::string prefix : {"/usr", "/opt"})
        if (fold == prefix || fold.rfind(prefix + "/", 0) == 0)
            return true;
    return false;
}

// The base folder an XDG variable names: its value when absolute, else the default below the
// home folder ("" when that is unknown too). A relative or empty value is ignored, as the XDG
// rules say.
std::string XdgBase(const std::string& value, std::string home, const char* defaultBelow) {
    std::string base;
    if (!value.empty() && value[0] == '/') {
        base = value;
    } else if (!home.empty()) {
        if (home.back() == '/')
            home.pop_back();
        base = home + "/" + defaultBelow;
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

} // namespace

BOOL IsTrustedFold(const platform::FoldOwner& owner, unsigned nUserId) {
    return owner.m_bFound && owner.m_nUid == nUserId && (owner.m_nMode & 022) == 0 ? TRUE : FALSE;
}

PROGRAMFOLDS ChooseProgramFolds(const FOLDSOURCES& src) {
    PROGRAMFOLDS folds;
    folds.bPortable = src.bModuleWritable && !IsSystemFold(src.strModuleFold) &&
                              IsTrustedFold(src.moduleOwner, src.nUserId)
                          ? TRUE
                          : FALSE;
    if (folds.bPortable) {
        folds.strSettingsFold = folds.strTraceFold = folds.strDataFold = folds.strBrowseFold =
            src.strModuleFold;
        return folds;
    }
    // Without a home folder a kind of file has nowhere of its own: it stays beside the program,
    // where its failures are reported as they always were.
    auto own = [&](const std::string& value, const char* defaultBelow) {
        const std::string base = XdgBase(value, src.strHome, defaultBelow);
        if (base.empty())
            return src.strModuleFold;
        return (base == "/" ? std::string() : base) + "/" + kProgramName;
    };
    folds.strSettingsFold = own(src.strConfigHome, ".config");
    folds.strTraceFold = own(src.strStateHome, ".local/state");
    folds.strDataFold = own(src.strDataHome, ".local/share");
    folds.strBrowseFold = src.strHome.empty() ? src.strModuleFold : src.strHome;
    return folds;
}

void InitProgramFolds() {
    FOLDSOURCES src;
    GetModuleFold(&src.strModuleFold);
    src.bModuleWritable = platform::CanWriteFold(src.strModuleFold) ? TRUE : FALSE;
    src.strHome = platform::HomeFold();
    src.strConfigHome = platform::EnvValue("XDG_CONFIG_HOME");
    src.strStateHome = platform::EnvValue("XDG_STATE_HOME");
    src.strDataHome = platform::EnvValue("XDG_DATA_HOME");
    src.moduleOwner = platform::OwnerOfFold(src.strModuleFold);
    src.nUserId = platform::UserId();
    g_ProgramFolds = ChooseProgramFolds(src);
}

BOOL MakeProgramFold(const std::string& strFold) {
    return platform::MakeFold(strFold) ? TRUE : FALSE;
}

BOOL OwnFileUsable(const std::string& strPath, int* pErrno) {
    const std::size_t slash = strPath.rfind('/');
    const std::string fold =
        slash == 0 || slash == std::string::npos ? "/" : strPath.substr(0, slash);
    // A folder that cannot be made leaves the open to fail, and to say so, as it always did.
    if (!platform::MakeFold(fold))
        return TRUE;
    const platform::FoldOwner owner = platform::OwnerOfFold(fold);
    int nErrno = 0;
    if (!IsTrustedFold(owner, platform::UserId())) {
        ui::ShowBox(platform::Format(
            "※このユーザーのものでないか、他のユーザーが書き込めるフォルダーには、プログラムの"
            "ファイルを置きません。\n"
            "\t[ %s ]\n\t所有者[ %s ]  モード[ %04o ]\n",
            fold.c_str(), platform::UserName(owner.m_nUid).c_str(), owner.m_nMode));
        nErrno = EACCES;
    } else if (platform::IsSymbolicLink(strPath)) {
        ui::ShowBox(platform::Format(
            "※シンボリックリンクはプログラムのファイルとして開きません。\n\t[ %s ]\n",
            strPath.c_str()));
        nErrno = ELOOP;
    }
    if (pErrno != nullptr)
        *pErrno = nErrno;
    return nErrno == 0 ? TRUE : FALSE;
}

std::string DefaultLogPath() { return g_ProgramFolds.strDataFold + "/Result.txt"; }
