// "octwtch.ini": what each kind of file gives the window, and what is written back.
#include "MainDlgFixture.h"

#include "platform/Encoding.h"

#include <cerrno>

using namespace testsupport;

namespace {

class SettingsTest : public MainDlgTest {
protected:
    std::string Ini() { return m_prog / "octwtch.ini"; }
    std::string DefaultLog() { return m_prog / "Result.txt"; }
    // Five lines as the writer lays them out, CP932 with CR LF.
    static std::string Lines(const std::vector<std::string>& lines) {
        std::string out;
        for (const std::string& l : lines)
            out += platform::Utf8ToCp932(l) + "\r\n";
        return out;
    }
};

TEST_F(SettingsTest, MissingFileIsCreatedWithDefaultsAndFoldersFollowAtExit) {
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(ReadFile(Ini()),
              Lines({"", "", DefaultLog(), "DisplayDifferentData=FALSE", "UseDataBase=TRUE"}));
    EXPECT_EQ(dlg.m_strFoldA, m_prog.Str());
    EXPECT_EQ(dlg.m_strFoldB, m_prog.Str());
    Close();
    EXPECT_EQ(ReadFile(Ini()), Lines({m_prog.Str(), m_prog.Str(), DefaultLog(),
                                      "DisplayDifferentData=FALSE", "UseDataBase=TRUE"}));
}

TEST_F(SettingsTest, FiveLinesSetFoldersLogAndBothCheckBoxes) {
    const std::string file = Lines({"/data/a", "/data/b", "/logs/r.txt",
                                    "DisplayDifferentData=TRUE", "UseDataBase=FALSE"});
    WriteFile(Ini(), file);
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.ReadSettings(), 0);
    EXPECT_EQ(dlg.m_strFoldA, "/data/a");
    EXPECT_EQ(dlg.m_strFoldB, "/data/b");
    EXPECT_EQ(dlg.m_strLogFile, "/logs/r.txt");
    EXPECT_EQ(Text(IDC_EDIT_LOG_FILE), "/logs/r.txt");
    EXPECT_EQ(m_ui.GetCheck(IDC_CHK_DISP_DIFF), 1);
    EXPECT_EQ(m_ui.GetCheck(IDC_CHK_MAKE_DB), 0);
    EXPECT_EQ(ReadFile(Ini()), file); // a complete file is not rewritten
    Close();
    EXPECT_EQ(ReadFile(Ini()), file);
}

TEST_F(SettingsTest, ThreeLinesAreKeptAndTheCheckBoxesDefaulted) {
    WriteFile(Ini(), Lines({"/data/a", "/data/b", "/logs/r.txt"}));
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.m_strFoldA, "/data/a");
    EXPECT_EQ(dlg.m_strLogFile, "/logs/r.txt");
    EXPECT_FALSE(dlg.m_bDisplayDiff);
    EXPECT_TRUE(dlg.m_bUseDataBase);
    EXPECT_EQ(ReadFile(Ini()), Lines({"/data/a", "/data/b", "/logs/r.txt",
                                      "DisplayDifferentData=FALSE", "UseDataBase=TRUE"}));
}

TEST_F(SettingsTest, EmptyLineTwoDropsTheFoldersAndTheOldLogLine) {
    WriteFile(Ini(), Lines({"/data/a", "", "/logs/r.txt", "DisplayDifferentData=TRUE",
                            "UseDataBase=FALSE"}));
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.m_strFoldA, m_prog.Str());
    EXPECT_EQ(dlg.m_strFoldB, m_prog.Str());
    EXPECT_EQ(dlg.m_strLogFile, DefaultLog());
    EXPECT_FALSE(dlg.m_bDisplayDiff);
    EXPECT_TRUE(dlg.m_bUseDataBase);
    EXPECT_EQ(ReadFile(Ini()), Lines({"/data/a", "", DefaultLog(), "DisplayDifferentData=FALSE",
                                      "UseDataBase=TRUE"}));
}

TEST_F(SettingsTest, FourLinesKeepTheDisplayLineAndDefaultTheDatabase) {
    WriteFile(Ini(), Lines({"/a", "/b", "/l.txt", "DisplayDifferentData=TRUE"}));
    CMyMainDlg& dlg = Open();
    EXPECT_TRUE(dlg.m_bDisplayDiff);
    EXPECT_TRUE(dlg.m_bUseDataBase);
    EXPECT_EQ(ReadFile(Ini()),
              Lines({"/a", "/b", "/l.txt", "DisplayDifferentData=TRUE", "UseDataBase=TRUE"}));
}

TEST_F(SettingsTest, OnlyTheExactTrueFormsCount) {
    struct Case {
        const char* m_pDisplay;
        const char* m_pUseDB;
        BOOL m_bDisplay;
        BOOL m_bUseDB;
    };
    const Case cases[] = {
        {"DisplayDifferentData=TRUE", "UseDataBase=TRUE", TRUE, TRUE},
        {"DisplayDifferentData=true", "UseDataBase=True", FALSE, FALSE},
        {"DisplayDifferentData=TRUE ", "UseDataBase=TRUE ", FALSE, FALSE},
        {" DisplayDifferentData=TRUE", "UseDataBase=FALSE", FALSE, FALSE},
        {"DisplayDifferentData=FALSE", "UseDataBase=yes", FALSE, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.m_pDisplay) + " " + c.m_pUseDB);
        WriteFile(Ini(), Lines({"/a", "/b", "/l.txt", c.m_pDisplay, c.m_pUseDB}));
        CMyMainDlg& dlg = Open();
        EXPECT_EQ(dlg.m_bDisplayDiff, c.m_bDisplay) << c.m_pDisplay;
        EXPECT_EQ(dlg.m_bUseDataBase, c.m_bUseDB) << c.m_pUseDB;
        m_dlg.reset();
    }
}

TEST_F(SettingsTest, LfOnlyLinesAreReadToo) {
    WriteFile(Ini(), "/a\n/b\n/l.txt\nDisplayDifferentData=TRUE\nUseDataBase=FALSE\n");
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.m_strLogFile, "/l.txt");
    EXPECT_TRUE(dlg.m_bDisplayDiff);
    EXPECT_FALSE(dlg.m_bUseDataBase);
}

TEST_F(SettingsTest, JapaneseFolderRoundTripsAsShiftJis) {
    const std::string fold = "/データ/比較";
    WriteFile(Ini(), Lines({fold, fold, "/l.txt", "DisplayDifferentData=FALSE",
                            "UseDataBase=TRUE"}));
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.m_strFoldA, fold);
    Close();
    const std::string bytes = ReadFile(Ini());
    EXPECT_EQ(bytes.substr(0, 13), std::string("/\x83\x66\x81\x5B\x83\x5E/\x94\xE4\x8A\x72\r", 13));
}

TEST_F(SettingsTest, ReadOnlyFileIsNeitherReadNorWritten) {
    const std::string file = Lines({"/a", "/b", "/l.txt", "DisplayDifferentData=TRUE",
                                    "UseDataBase=FALSE"});
    WriteFile(Ini(), file);
    MakeReadOnly(Ini());
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.m_strFoldA, "");
    EXPECT_EQ(dlg.m_strLogFile, DefaultLog());
    EXPECT_FALSE(dlg.m_bDisplayDiff);
    EXPECT_TRUE(dlg.m_bUseDataBase);
    EXPECT_EQ(dlg.WriteSettings(), -1);
    Close();
    EXPECT_EQ(ReadFile(Ini()), file);
    EXPECT_EQ(m_prog.Trace(), TraceMarker()); // silently
}

// The settings are one of the program's own files: a link there is refused, never followed.
TEST_F(SettingsTest, LinkIsNeitherFollowedNorWritten) {
    const std::string notes = m_prog / "notes";
    WriteFile(notes, "the user's notes\n");
    fs::create_symlink(notes, Ini());
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.m_strLogFile, DefaultLog());
    EXPECT_EQ(dlg.WriteSettings(), -1);
    Close();
    EXPECT_EQ(ReadFile(notes), "the user's notes\n");
    EXPECT_TRUE(fs::is_symlink(Ini()));
    const std::string refused = "※シンボリックリンクはプログラムのファイルとして開きません。"
                                "\n\t[ " + Ini() + " ]\n";
    EXPECT_EQ(Boxes(), (std::vector<std::string>{refused, refused}));
}

TEST_F(SettingsTest, CheckBoxClicksReachTheFileAtExit) {
    Open();
    ASSERT_TRUE(m_ui.Click(IDC_CHK_DISP_DIFF));
    ASSERT_TRUE(m_ui.Click(IDC_CHK_MAKE_DB));
    Close();
    EXPECT_EQ(ReadFile(Ini()), Lines({m_prog.Str(), m_prog.Str(), DefaultLog(),
                                      "DisplayDifferentData=TRUE", "UseDataBase=FALSE"}));
}

TEST_F(SettingsTest, CommandLineUseNeitherReadsNorWritesIt) {
    WriteFile(Ini(), Lines({"/a", "/b", "/l.txt", "DisplayDifferentData=TRUE",
                            "UseDataBase=FALSE"}));
    const std::string before = ReadFile(Ini());
    CMyMainDlg& dlg = Open(FALSE);
    EXPECT_EQ(dlg.m_strLogFile, DefaultLog());
    EXPECT_TRUE(dlg.m_bUseDataBase);
    Close();
    EXPECT_EQ(ReadFile(Ini()), before);
    fs::remove(Ini());
    Open(FALSE);
    Close();
    EXPECT_FALSE(fs::exists(Ini()));
}

// A file that cannot be read is no missing line: it is neither rewritten nor defaulted, now or at
// exit, and what was read before the error stays.
TEST_F(SettingsTest, ReadErrorLeavesTheFileAloneAndDefaultsNothing) {
    const std::string foldA = "/" + std::string(3000, 'a'), foldB = "/" + std::string(3000, 'b');
    const std::string file =
        Lines({foldA, foldB, "/l.txt", "DisplayDifferentData=TRUE", "UseDataBase=FALSE"});
    WriteFile(Ini(), file);
    m_ui.FailReads(Ini(), 4096, EIO); // line 1 lies in the first 4096 bytes, line 2 does not
    CMyMainDlg& dlg = Open();
    EXPECT_EQ(dlg.ReadSettings(), -1);
    EXPECT_EQ(dlg.m_strFoldA, foldA);
    EXPECT_EQ(dlg.m_strFoldB, "");
    EXPECT_EQ(dlg.m_strLogFile, DefaultLog());
    EXPECT_FALSE(dlg.m_bDisplayDiff);
    EXPECT_TRUE(dlg.m_bUseDataBase);
    EXPECT_EQ(ReadFile(Ini()), file);
    Close();
    EXPECT_EQ(ReadFile(Ini()), file);
}
} // namespace
