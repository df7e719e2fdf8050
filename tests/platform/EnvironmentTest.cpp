// What the start-up learns from the system: the home folder, whether a folder takes new files,
// and the folders it makes for its own files.
#include "platform/Environment.h"

#include "support/TestSupport.h"

#include <pwd.h>
#include <sys/stat.h>

using namespace testsupport;

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

TEST(HomeFold, HomeWhenAbsoluteElseThePasswordEntry) {
    const std::string own = ::getpwuid(::getuid())->pw_dir;
    const struct {
        const char* home; // nullptr: unset
        std::string want;
    } table[] = {
        {"/srv/someone", "/srv/someone"},
        {"/srv/someone//", "/srv/someone"},
        {"/", "/"},
        {"relative/home", own},
        {"", own},
        {nullptr, own},
    };
    for (const auto& t : table) {
        ScopedEnv env("HOME", t.home);
        EXPECT_EQ(platform::HomeFold(), t.want) << (t.home ? t.home : "(unset)");
    }
}

TEST(CanWriteFold, OnlyAFolderThatTakesNewFiles) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    EXPECT_TRUE(platform::CanWriteFold(dir.Str()));
    EXPECT_FALSE(platform::CanWriteFold(dir / "file"));
    EXPECT_FALSE(platform::CanWriteFold(dir / "missing"));
    EXPECT_FALSE(platform::CanWriteFold(""));
}

TEST(CanWriteFold, ReadOnlyMountEvenForRoot) {
    TinyTmpfs ro(65536, MS_RDONLY);
    OCTW_REQUIRE_TMPFS(ro);
    EXPECT_FALSE(platform::CanWriteFold(ro.Str()));
}

TEST(MakeFold, MissingFoldersAreMadeForThisUserOnly) {
    TempDir dir;
    ::chmod(dir.Str().c_str(), 0755);
    const std::string leaf = dir / "a/b/octetwatch";
    ASSERT_TRUE(platform::MakeFold(leaf));
    EXPECT_TRUE(fs::is_directory(leaf));
    EXPECT_EQ(ModeOf(dir / "a"), 0700u);
    EXPECT_EQ(ModeOf(dir / "a/b"), 0700u);
    EXPECT_EQ(ModeOf(leaf), 0700u);
    EXPECT_EQ(ModeOf(dir.Str()), 0755u); // what existed is left as it was
    EXPECT_TRUE(platform::MakeFold(leaf)); // a second time: already there
    EXPECT_TRUE(platform::MakeFold(leaf + "/"));
}

TEST(MakeFold, FailsWhereNoFolderCanBe) {
    TempDir dir;
    WriteFile(dir / "file", "x");
    TinyTmpfs ro(65536, MS_RDONLY);
    const struct {
        std::string path;
        const char* why;
    } table[] = {
        {dir / "file", "a file is in the way"},
        {dir / "file/sub", "a file is in the way above"},
        {"relative/fold", "not an absolute path"},
        {"", "empty"},
    };
    for (const auto& t : table)
        EXPECT_FALSE(platform::MakeFold(t.path)) << t.why;
    if (ro.Mounted()) {
        EXPECT_FALSE(platform::MakeFold(ro / "octetwatch")) << "read-only mount";
    }
}

} // namespace
