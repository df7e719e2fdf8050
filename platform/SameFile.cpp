#include "platform/SameFile.h"

#include "platform/LowFile.h"

#include <climits>
#include <cstdlib>
#include <unistd.h>

namespace platform {

std::string ResolvedPath(const std::string& path) {
    std::string p = path;
    // As many links as the system itself follows before it gives up (ELOOP).
    for (int hops = 0; hops < 40 && !p.empty(); ++hops) {
        char buf[PATH_MAX];
        if (::realpath(p.c_str(), buf) != nullptr)
            return buf;
        const std::size_t sep = p.rfind('/');
        const std::string fold = sep == std::string::npos ? "." : sep == 0 ? "/" : p.substr(0, sep);
        const std::string name = sep == std::string::npos ? p : p.substr(sep + 1);
        if (name.empty())
            return {};
        // A link to nothing yet: creating through it creates what it names.
        const ssize_t n = ::readlink(p.c_str(), buf, sizeof buf - 1);
        if (n > 0) {
            const std::string target(buf, static_cast<std::size_t>(n));
            p = target[0] == '/' ? target : fold + "/" + target;
            continue;
        }
        if (::realpath(fold.c_str(), buf) == nullptr)
            return {};
        std::string resolved = buf;
        if (resolved != "/")
            resolved += '/';
        return resolved + name;
    }
    return {};
}

bool SameFile(const std::string& a, const std::string& b) {
    const FileIdentity idA = IdentityOfPath(a);
    const FileIdentity idB = IdentityOfPath(b);
    if (idA.m_bValid || idB.m_bValid)
        return idA.SameAs(idB);
    const std::string resolved = ResolvedPath(a);
    return !resolved.empty() && resolved == ResolvedPath(b);
}

} // namespace platform
