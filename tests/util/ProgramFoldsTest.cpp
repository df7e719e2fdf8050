// Where the four files go: beside a program whose folder this user can write and no one else can,
// in the XDG folders otherwise.
#include "util/ProgramFolds.h"

#include <gtest/gtest.h>

namespace {

TEST(ChooseProgramFolds, PortableOrInstalled) {
    const std::string usr = "/usr/bin", home = "/home/u";
    const platform::FoldOwner mine{true, 1000, 0755}; // the program's folder, where it is judged
    const struct Case {
        const char* name;
        FOLDSOURCES src;
        BOOL portable;
        std::string settings, trace, data, browse;
    } table[] = {
        {"writable folder keeps every file beside the program",
         {"/work/build/cli", TRUE, home, "/x/c", "/x/s", "/x/d", mine, 1000},
         TRUE, "/work/build/cli", "/work/build/cli", "/work/build/cli", "/work/build/cli"},
        {"unwritable folder, no XDG variable: the defaults below home",
         {usr, FALSE, home, "", "", "", mine, 1000},
         FALSE, "/home/u/.config/octetwatch", "/home/u/.local/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"absolute XDG variables are taken, trailing slashes dropped",
         {"/srv/tools", FALSE, home, "/x/conf/", "/x/state", "/x/data//", mine, 1000},
         FALSE, "/x/conf/octetwatch", "/x/state/octetwatch", "/x/data/octetwatch", home},
        {"relative XDG variables are ignored",
         {usr, FALSE, home, "conf", "./state", "~/data", mine, 1000},
         FALSE, "/home/u/.config/octetwatch", "/home/u/.local/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"each variable on its own",
         {usr, FALSE, home, "", "/x/state", "", mine, 1000},
         FALSE, "/home/u/.config/octetwatch", "/x/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"a home of / itself",
         {usr, FALSE, "/", "", "", "", mine, 1000},
         FALSE, "/.config/octetwatch", "/.local/state/octetwatch", "/.local/share/octetwatch", "/"},
        {"a variable naming the root",
         {usr, FALSE, home, "/", "/", "/", mine, 1000},
         FALSE, "/octetwatch", "/octetwatch", "/octetwatch", home},
        {"no home: what no variable places stays beside the program",
         {usr, FALSE, "", "", "/x/state", "", mine, 1000},
         FALSE, usr, "/x/state/octetwatch", usr, usr},
        // The FHS keeps these read-only while programs run, even where root could write.
        {"/usr/bin writable by root is still installed use",
         {usr, TRUE, "/root", "", "", "", mine, 1000},
         FALSE, "/root/.config/octetwatch", "/root/.local/state/octetwatch",
         "/root/.local/share/octetwatch", "/root"},
        {"/usr/local/bin likewise",
         {"/usr/local/bin", TRUE, home, "", "", "", mine, 1000},
         FALSE, "/home/u/.config/octetwatch", "/home/u/.local/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"/opt likewise",
         {"/opt/octetwatch/bin", TRUE, home, "", "/x/state", "", mine, 1000},
         FALSE, "/home/u/.config/octetwatch", "/x/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"a folder that only begins like /usr is the user's own",
         {"/usrdata/octw", TRUE, home, "", "", "", mine, 1000},
         TRUE, "/usrdata/octw", "/usrdata/octw", "/usrdata/octw", "/usrdata/octw"},
        {"a program in the root has the folder \"\", which no one can write",
         {"", FALSE, home, "", "", "", mine, 1000},
         FALSE, "/home/u/.config/octetwatch", "/home/u/.local/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.name);
        const PROGRAMFOLDS f = ChooseProgramFolds(c.src);
        EXPECT_EQ(f.bPortable, c.portable);
        EXPECT_EQ(f.strSettingsFold, c.settings);
        EXPECT_EQ(f.strTraceFold, c.trace);
        EXPECT_EQ(f.strDataFold, c.data);
        EXPECT_EQ(f.strBrowseFold, c.browse);
    }
}

// Another user who can write the program's folder could plant links there that the next run
// follows: the folder is the program's only when it is this user's and no one else may write it.
TEST(ChooseProgramFolds, OnlyAFolderNoOneElseWritesHoldsTheFiles) {
    const struct {
        const char* name;
        platform::FoldOwner owner;
        unsigned user;
        bool portable;
    } table[] = {
        {"this user's, 0755", {true, 1000, 0755}, 1000, true},
        {"this user's, 0700", {true, 1000, 0700}, 1000, true},
        {"root's, for root", {true, 0, 0755}, 0, true},
        {"group may write", {true, 1000, 0775}, 1000, false},
        {"others may write", {true, 1000, 0757}, 1000, false},
        {"sticky and open to all, as /tmp", {true, 0, 01777}, 0, false},
        {"another user's, even unwritable by others", {true, 65534, 0755}, 1000, false},
        {"root's, for another user", {true, 0, 0755}, 1000, false},
        {"this user's, but the user is root", {true, 1000, 0755}, 0, false},
        {"not looked at", {}, 1000, false},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.name);
        FOLDSOURCES src{"/work/build/cli", TRUE, "/home/u", "", "", "", c.owner, c.user};
        const PROGRAMFOLDS f = ChooseProgramFolds(src);
        EXPECT_EQ(f.bPortable, c.portable ? TRUE : FALSE);
        EXPECT_EQ(f.strTraceFold,
                  c.portable ? "/work/build/cli" : "/home/u/.local/state/octetwatch");
        EXPECT_EQ(IsTrustedFold(c.owner, c.user), c.portable ? TRUE : FALSE);
    }
}

} // namespace
