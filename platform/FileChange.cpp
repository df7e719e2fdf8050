#include "platform/FileChange.h"

#include <sys/stat.h>

namespace platform {

bool FileUnchangedSinceOpen(int fd, const std::string& path, const FileIdentity& atOpen) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return false;
    if (!IdentityOfPath(path).SameAs(atOpen))
        return false;
    return S_ISBLK(st.st_mode) || IdentityOfHandle(fd).Unchanged(atOpen);
}

} // namespace platform
