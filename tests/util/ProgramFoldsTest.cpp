// Where the four files go: beside a program whose folder this user can write, in the XDG
// folders otherwise.
#include "util/ProgramFolds.h"

#include <gtest/gtest.h>

namespace {

TEST(ChooseProgramFolds, PortableOrInstalled) {
    const std::string usr = "/usr/bin", home = "/home/u";
    const struct Case {
        const char* name;
        FOLDSOURCES src;
        BOOL portable;
        std::string settings, trace, data, browse;
    } table[] = {
        {"writable folder keeps every file beside the program",
         {"/work/build/cli", TRUE, home, "/x/c", "/x/s", "/x/d"},
         TRUE, "/work/build/cli", "/work/build/cli", "/work/build/cli", "/work/build/cli"},
        {"unwritable folder, no XDG variable: the defaults below home",
         {usr, FALSE, home, "", "", ""},
         FALSE, "/home/u/.config/octetwatch", "/home/u/.local/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"absolute XDG variables are taken, trailing slashes dropped",
         {"/srv/tools", FALSE, home, "/x/conf/", "/x/state", "/x/data//"},
         FALSE, "/x/conf/octetwatch", "/x/state/octetwatch", "/x/data/octetwatch", home},
        {"relative XDG variables are ignored",
         {usr, FALSE, home, "conf", "./state", "~/data"},
         FALSE, "/home/u/.config/octetwatch", "/home/u/.local/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"each variable on its own",
         {usr, FALSE, home, "", "/x/state", ""},
         FALSE, "/home/u/.config/octetwatch", "/x/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"a home of / itself",
         {usr, FALSE, "/", "", "", ""},
         FALSE, "/.config/octetwatch", "/.local/state/octetwatch", "/.local/share/octetwatch", "/"},
        {"a variable naming the root",
         {usr, FALSE, home, "/", "/", "/"},
         FALSE, "/octetwatch", "/octetwatch", "/octetwatch", home},
        {"no home: what no variable places stays beside the program",
         {usr, FALSE, "", "", "/x/state", ""},
         FALSE, usr, "/x/state/octetwatch", usr, usr},
        // The FHS keeps these read-only while programs run, even where root could write.
        {"/usr/bin writable by root is still installed use",
         {usr, TRUE, "/root", "", "", ""},
         FALSE, "/root/.config/octetwatch", "/root/.local/state/octetwatch",
         "/root/.local/share/octetwatch", "/root"},
        {"/usr/local/bin likewise",
         {"/usr/local/bin", TRUE, home, "", "", ""},
         FALSE, "/home/u/.config/octetwatch", "/home/u/.local/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"/opt likewise",
         {"/opt/octetwatch/bin", TRUE, home, "", "/x/state", ""},
         FALSE, "/home/u/.config/octetwatch", "/x/state/octetwatch",
         "/home/u/.local/share/octetwatch", home},
        {"a folder that only begins like /usr is the user's own",
         {"/usrdata/octw", TRUE, home, "", "", ""},
         TRUE, "/usrdata/octw", "/usrdata/octw", "/usrdata/octw", "/usrdata/octw"},
        {"a program in the root has the folder \"\", which no one can write",
         {"", FALSE, home, "", "", ""},
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

} // namespace
