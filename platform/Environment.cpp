#include "platform/Environment.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::string EnvValue(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string HomeFold() {
    const std::string home = EnvValue("HOME");
    if (!home.empty() && home[0] == '/')
        return WithoutTrailingSlashes(home);
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) != 0 || found == nullptr ||
        found->pw_dir == nullptr || found->pw_dir[0] != '/')
        return {};
    return WithoutTrailingSlashes(found->pw_dir);
}

bool CanWriteFold(const std::string& fold) {
    // W_OK alone would let a folder pass that has no search permission; a new file needs both.
    return !fold.empty() && IsFolder(fold) && ::access(fold.c_str(), W_OK | X_OK) == 0;
}

FoldOwner OwnerOfFold(const std::string& fold) {
    struct stat st {}, link {};
    if (fold.empty() || ::stat(fold.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
        ::lstat(fold.c_str(), &link) != 0)
        return {};
    const uid_t owner = S_ISLNK(link.st_mode) && link.st_uid != st.st_uid ? link.st_uid : st.st_uid;
    return {true, static_cast<unsigned>(owner), static_cast<unsigned>(st.st_mode & 07777)};
}

unsigned UserId() { return static_cast<unsigned>(::geteuid()); }

std::string UserName(unsigned uid) {
    std::vector<char> buf(16384);
    struct passwd pw {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(static_cast<uid_t>(uid), &pw, buf.data(), buf.size(), &found) != 0 ||
        found == nullptr || found->pw_name == nullptr)
        return std::to_string(uid);
    return found->pw_name;
}

bool MakeFold(const std::string& fold) {
    if (fold.empty() || fold[0] != '/')
        return false;
    // From the top down, so each missing folder is made inside one that exists.
    for (std::size_t pos = 1; pos <= fold.size(); ++pos) {
        if (pos < fold.size() && fold[pos] != '/')
            continue;
        const std::string part = fold.substr(0, pos);
        if (!IsFolder(part) && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return IsFolder(fold);
}

} // namespace platform
