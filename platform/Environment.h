#pragma once
// What the process learns from its surroundings to choose where it keeps its files: environment
// variables, the user's home folder, whether a folder takes new files, and making folders.
#include <string>

namespace platform {

// The variable's value; "" when it is not set.
std::string EnvValue(const char* name);

// This user's home folder: $HOME when it is an absolute path, else the password database's
// entry; "" when neither gives one. Never ends in "/" unless it is the root itself.
std::string HomeFold();

// Whether this user may create files in the folder now (a read-only mount counts as not, also
// for root).
bool CanWriteFold(const std::string& fold);

// Who owns a folder and its permission bits (07777). A folder reached through a link owned by
// someone else counts as that one's: whoever owns the link chooses where it leads.
struct FoldOwner {
    bool m_bFound = false;
    unsigned m_nUid = 0;
    unsigned m_nMode = 0;
};
FoldOwner OwnerOfFold(const std::string& fold);

// The user the process acts as (its effective user id), and a user's name for messages: the
// password database's, else the number.
unsigned UserId();
std::string UserName(unsigned uid);

// Makes the folder and any missing folder above it, each with mode 0700 (only this user may
// look in). True when the path is a folder afterwards.
bool MakeFold(const std::string& fold);

} // namespace platform
