#pragma once
// Where the program keeps its four files: the settings "octwtch.ini", the trace DataTrace.txt,
// the difference database DiffData.db and the default result log Result.txt.
//
// Portable use: this user can write the executable's folder (a build folder, an unpacked copy),
// and all four lie there. Installed use: it cannot (a package, `cmake --install` into a system
// prefix), and they go to the user's XDG base folders. The choice is made once at start-up;
// every "executable's folder" of the program asks here.
//
// A folder holds these files only when it belongs to this user and no one else may write in it:
// whoever can write there can plant a link that makes the program write over another file. The
// executable's folder that fails this is not used (installed use applies); an XDG folder that
// fails it is refused, never changed. The files themselves are opened without following a link.
#include "platform/Environment.h"
#include "platform/WinTypes.h"

#include <string>

struct PROGRAMFOLDS {
    BOOL bPortable = TRUE;
    std::string strSettingsFold; // "octwtch.ini"
    std::string strTraceFold;    // DataTrace.txt
    std::string strDataFold;     // DiffData.db and the default Result.txt
    std::string strBrowseFold;   // where the select dialogs start until a file has been chosen
};

// What the choice is made from.
struct FOLDSOURCES {
    std::string strModuleFold;    // the executable's folder
    BOOL bModuleWritable = FALSE; // this user can make files in it
    std::string strHome;          // the home folder, "" when unknown
    // XDG_CONFIG_HOME, XDG_STATE_HOME and XDG_DATA_HOME as set ("" when unset).
    std::string strConfigHome;
    std::string strStateHome;
    std::string strDataHome;
    platform::FoldOwner moduleOwner; // the executable's folder's owner and mode
    unsigned nUserId = 0;            // this user
};

// Whether a folder of this owner and mode may hold the program's files for this user.
BOOL IsTrustedFold(const platform::FoldOwner& owner, unsigned nUserId);

// The rules alone, for any sources.
PROGRAMFOLDS ChooseProgramFolds(const FOLDSOURCES& src);

// Reads the sources from the running process, chooses, and keeps the answer in g_ProgramFolds.
// Makes no folder: each is made where it is first needed (MakeProgramFold).
void InitProgramFolds();

// Makes one of the folders above when it is missing (mode 0700, the folders above it too).
// TRUE when it exists afterwards.
BOOL MakeProgramFold(const std::string& strFold);

// Whether the program may open its own file at this path: its folder (made when missing) is
// trusted and the path is not a symbolic link. Otherwise a box names the folder with its owner and
// mode, or the link, and `*pErrno` tells what an open would have failed with.
BOOL OwnFileUsable(const std::string& strPath, int* pErrno = nullptr);

// The result log the program chooses when the user names none.
std::string DefaultLogPath();

// Set once at start-up, before any worker exists.
extern PROGRAMFOLDS g_ProgramFolds;
