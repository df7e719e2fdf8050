// A program whose folder this user cannot write (a package's, or one installed into /usr): its
// files go to the XDG folders, each made on first need, and a first start is as quiet as a
// portable one.
#include "MainDlgFixture.h"

#include "util/ProgramFolds.h"

#include <sys/stat.h>

using namespace testsupport;

namespace {

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class InstalledUseTest : public MainDlgTest {
protected:
    void SetUp() override {
        OCTW_REQUIRE_TMPFS(m_bin);
        platform::OverrideExecutablePath(m_bin / "octetwatch");
    }
    std::string Home(const std::string& below) { return m_home / below; }

    TinyTmpfs m_bin{65536, MS_RDONLY}; // the executable's folder: not even root writes it
    TempDir m_home;
    ScopedEnv m_envHome{"HOME", m_home.Str().c_str()};
    ScopedEnv m_envConfig{"XDG_CONFIG_HOME", nullptr};
    ScopedEnv m_envState{"XDG_STATE_HOME", nullptr};
    ScopedEnv m_envData{"XDG_DATA_HOME", nullptr};
};

TEST_F(InstalledUseTest, FirstStartPutsEachFileInItsFolderBelowHome) {
    CMyMainDlg& dlg = Open();
    const std::string config = Home(".config/octetwatch"), state = Home(".local/state/octetwatch"),
                      data = Home(".local/share/octetwatch");
    EXPECT_EQ(Boxes(), std::vector<std::string>{}); // no "trace file cannot be opened"
    EXPECT_EQ(ReadFile(state + "/DataTrace.txt"), TraceMarker());
    EXPECT_EQ(dlg.m_strDBFile, data + "/DiffData.db");
    EXPECT_EQ(dlg.m_DiffDataBase.GetFileName(), data + "/DiffData.db");
    EXPECT_EQ(Text(IDC_EDIT_LOG_FILE), data + "/Result.txt");
    EXPECT_EQ(dlg.SettingsPath(), config + "/octwtch.ini");
    EXPECT_EQ(ReadCp932(config + "/octwtch.ini"),
              "\n\n" + data + "/Result.txt\nDisplayDifferentData=FALSE\nUseDataBase=TRUE\n");
    // The select dialogs start at home, not in the program's folder.
    EXPECT_EQ(dlg.m_strFoldA, m_home.Str());
    EXPECT_EQ(dlg.m_strFoldB, m_home.Str());
    for (const std::string& made :
         {config, state, data, Home(".config"), Home(".local"), Home(".local/state")})
        EXPECT_EQ(ModeOf(made), 0700u) << made;

    Close();
    EXPECT_EQ(ReadCp932(config + "/octwtch.ini"),
              m_home.Str() + "\n" + m_home.Str() + "\n" + data +
                  "/Result.txt\nDisplayDifferentData=FALSE\nUseDataBase=TRUE\n");
}

TEST_F(InstalledUseTest, AbsoluteXdgVariablesAreTakenRelativeOnesIgnored) {
    TempDir xdg;
    ScopedEnv config("XDG_CONFIG_HOME", (xdg / "conf").c_str());
    ScopedEnv state("XDG_STATE_HOME", "relative/state");
    ScopedEnv data("XDG_DATA_HOME", (xdg / "data").c_str());
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_EQ(dlg.SettingsPath(), xdg / "conf/octetwatch/octwtch.ini");
    EXPECT_TRUE(fs::exists(dlg.SettingsPath()));
    EXPECT_EQ(ReadFile(Home(".local/state/octetwatch/DataTrace.txt")), TraceMarker());
    EXPECT_EQ(dlg.m_strDBFile, xdg / "data/octetwatch/DiffData.db");
    EXPECT_FALSE(fs::exists(Home(".config")));
    EXPECT_FALSE(fs::exists(Home(".local/share")));
}

TEST_F(InstalledUseTest, WithoutTheSettingsFileNoSettingsFolderIsMade) {
    // The command-line program's start-up.
    Open(FALSE);
    Close();
    EXPECT_EQ(Boxes(), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(Home(".config")));
    EXPECT_TRUE(fs::exists(Home(".local/state/octetwatch/DataTrace.txt")));
    EXPECT_TRUE(fs::is_directory(Home(".local/share/octetwatch")));
}

} // namespace
