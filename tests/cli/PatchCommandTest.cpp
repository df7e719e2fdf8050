// octetwatch-cli --patch driven in-process: what it writes, what it refuses, and what a failed
// write leaves for the reverse patch to undo.
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include "cli/PatchCommand.h"
#include "platform/Format.h"

#include <cerrno>
#include <cstdio>
#include <functional>
#include <sys/stat.h>

using namespace testsupport;

namespace {

std::string Le64(std::uint64_t v) {
    std::string out;
    for (int i = 0; i < 8; ++i, v >>= 8)
        out.push_back(static_cast<char>(v & 0xFF));
    return out;
}

std::string Contents(std::FILE* f) {
    std::string s;
    std::rewind(f);
    for (int c; (c = std::fgetc(f)) != EOF;)
        s.push_back(static_cast<char>(c));
    std::fclose(f);
    return s;
}

class PatchCommandTest : public ::testing::Test {
protected:
    // FILE A of `size` bytes, and FILE B differing from it at every `step` bytes from `first`.
    void MakeFiles(std::int64_t size, std::int64_t first, std::int64_t step) {
        m_a.assign(static_cast<std::size_t>(size), '\0');
        for (std::size_t i = 0; i < m_a.size(); ++i)
            m_a[i] = static_cast<char>(i * 7 % 251);
        m_b = m_a;
        m_adrs.clear();
        for (std::int64_t adrs = first; adrs < size; adrs += step) {
            m_adrs.push_back(adrs);
            m_b[static_cast<std::size_t>(adrs)] ^= 0x5A;
        }
        WriteFile(m_db, DbBytes());
    }
    std::string DbBytes() const {
        std::string db = Le64(m_adrs.size());
        for (std::int64_t adrs : m_adrs)
            db += Le64(static_cast<std::uint64_t>(adrs)) + m_a[static_cast<std::size_t>(adrs)] +
                  m_b[static_cast<std::size_t>(adrs)];
        return db;
    }
    // `bytes` with record k's address holding the byte of `side` for every k in `records`.
    std::string With(std::string bytes, const std::string& side,
                     std::initializer_list<std::size_t> records) const {
        for (std::size_t k : records) {
            const auto adrs = static_cast<std::size_t>(m_adrs[k]);
            bytes[adrs] = side[adrs];
        }
        return bytes;
    }

    int Patch(char from, const std::string& file, bool check = false) {
        PatchOptions opt;
        opt.m_strDB = m_db;
        opt.m_strFile = file;
        opt.m_cFrom = from;
        opt.m_bCheck = check;
        std::FILE* out = std::tmpfile();
        std::FILE* err = std::tmpfile();
        const int nExit = DoPatchCommand(opt, out, err);
        m_out = Contents(out);
        m_err = Contents(err);
        return nExit;
    }
    int PatchYes(char from, const std::string& file) {
        m_ui.QueueAnswer(IDYES);
        return Patch(from, file);
    }
    std::string Questions() {
        std::string all;
        for (const std::string& text : m_ui.BoxTexts())
            all += text + "\n";
        return all;
    }

    support::ScriptedUi m_ui;
    TempDir m_dir;
    const std::string m_db = m_dir / "DiffData.db";
    const std::string m_file = m_dir / "copy.img";
    std::string m_a, m_b;
    std::vector<std::int64_t> m_adrs;
    std::string m_out, m_err;
};

TEST_F(PatchCommandTest, PatchesAskingFirstAndUndoes) {
    MakeFiles(65536, 3, 64);
    WriteFile(m_file, m_a);

    m_ui.QueueAnswer(IDNO);
    EXPECT_EQ(Patch('a', m_file), 2);
    EXPECT_EQ(m_err, "octetwatch-cli: " + m_file + " was not patched: the question was answered No\n");
    EXPECT_EQ(ReadFile(m_file), m_a);

    EXPECT_EQ(PatchYes('a', m_file), 0) << m_err;
    EXPECT_EQ(ReadFile(m_file), m_b);
    EXPECT_EQ(m_out, "patched 1024 bytes of " + m_file + ": flushed to disk and read back as written\n");
    EXPECT_EQ(m_err, "");
    EXPECT_EQ(Questions(), "patch 1024 bytes of " + m_file + "?\npatch 1024 bytes of " + m_file + "?\n");

    // Again: nothing to do, nothing asked.
    EXPECT_EQ(Patch('a', m_file), 0);
    EXPECT_EQ(m_out, m_file + " is already patched: all 1024 addresses hold FILE B's bytes; nothing "
                              "was written\n");
    EXPECT_EQ(m_ui.BoxTexts().size(), 2u);

    EXPECT_EQ(PatchYes('b', m_file), 0) << m_err;
    EXPECT_EQ(ReadFile(m_file), m_a);
    EXPECT_EQ(m_ui.UnansweredQuestions(), 0);
}

TEST_F(PatchCommandTest, CheckWritesNothingAndTellsTheState) {
    MakeFiles(65536, 0, 5000); // 14 addresses
    struct Case {
        const char* m_name;
        std::string m_bytes;
        char m_from;
        int m_nExit;
        std::string m_strSays; // on standard output for 0 and 1, standard error for 2
    };
    const Case cases[] = {
        {"ready", m_a, 'a', 0, " is ready to patch: all 14 addresses hold FILE A's bytes\n"},
        {"ready_for_the_reverse", m_b, 'b', 0, " is ready to patch: all 14 addresses hold FILE B's"},
        {"patched", m_b, 'a', 1, " is already patched: all 14 addresses hold FILE B's bytes\n"},
        {"partly_patched", With(m_a, m_b, {0, 1, 2}), 'a', 2,
         " is partly patched: 3 of 14 addresses hold FILE B's bytes, the others FILE A's; "
         "--from=a finishes the patch, --from=b undoes it\n"},
        {"partly_patched_seen_from_b", With(m_a, m_b, {0, 1, 2}), 'b', 2,
         " is partly patched: 11 of 14 addresses hold FILE A's bytes"},
        {"partly_patched_in_no_order", With(m_a, m_b, {0, 2, 13}), 'b', 2,
         " is partly patched: 11 of 14 addresses hold FILE A's bytes, the others FILE B's"},
        {"one_byte_neither", With(m_a, m_b, {2}).replace(5000, 1, 1, '?'), 'a', 2,
         " is not the file " + m_db + " can patch --from=a: at address 0000001388 h (5000) it "
         "holds 3F, FILE A's byte is 6F; 2 of 14 addresses do not hold FILE A's byte; nothing was "
         "written\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        WriteFile(m_file, c.m_bytes);
        EXPECT_EQ(Patch(c.m_from, m_file, true), c.m_nExit);
        EXPECT_NE((c.m_nExit == 2 ? m_err : m_out).find(m_file + c.m_strSays), std::string::npos)
            << m_out << m_err;
        EXPECT_EQ(ReadFile(m_file), c.m_bytes);
    }
    EXPECT_TRUE(m_ui.BoxTexts().empty());
}

TEST_F(PatchCommandTest, RefusalsWriteNothing) {
    MakeFiles(65536, 100, 1000); // 66 addresses: 100 ... 65100
    // Neither FILE A's byte nor FILE B's. (Replaced rather than assigned: GCC 12 under
    // ThreadSanitizer warns of an overflow that cannot happen.)
    auto poke = [](const std::string& s, std::size_t at) {
        return std::string(s).replace(at, 1, 1, static_cast<char>(~s[at]));
    };
    const std::string first = "0000000064 h (100)";
    struct Case {
        const char* m_name;
        std::string m_file;
        std::string m_db; // empty: the database of the two files
        std::string m_strErr;
    };
    const Case cases[] = {
        {"first_record", poke(m_a, 100), "",
         " can patch --from=a: at address " + first + " it holds " +
             platform::Format("%02X", static_cast<unsigned char>(~m_a[100])) +
             ", FILE A's byte is " + platform::Format("%02X", static_cast<unsigned char>(m_a[100])) +
             "; 1 of 66 addresses do not hold FILE A's byte; nothing was written\n"},
        {"middle_record", poke(poke(m_a, 33100), 34100), "",
         "at address 000000814C h (33100) it holds"},
        {"last_record", poke(m_a, 65100), "", "at address 000000FE4C h (65100) it holds"},
        {"file_too_short", m_a.substr(0, 65100), "",
         "at address 000000FE4C h (65100) it has ended (65100 bytes), FILE A's byte is"},
        {"partly_patched_and_one_neither", poke(With(m_a, m_b, {0, 2}), 34100), "",
         "3 of 66 addresses do not hold"},
        {"other_direction", m_a.substr(0, 200), "", "; 66 of 66 addresses do not hold"},
        {"db_size", m_a, Le64(1) + "123456789",
         "is not a difference database: its size, 17 bytes, is not 8 + 10 x N; nothing was written\n"},
        {"db_count", m_a, Le64(7) + Le64(100) + "AB",
         "is damaged: it counts 7 records, its size holds 1; nothing was written\n"},
        {"db_negative", m_a, Le64(1) + Le64(~std::uint64_t{0}) + "AB",
         "is damaged: record 0 has a negative address, -1; nothing"},
        {"db_order", m_a, Le64(2) + Le64(200) + "AB" + Le64(100) + "AB",
         "is damaged: record 1, address 0000000064 h (100), does not follow the one before it, "
         "00000000C8 h (200) (addresses must increase); nothing"},
        {"db_same_bytes", m_a, Le64(1) + Le64(100) + "AA",
         "is damaged: record 0, address 0000000064 h (100), gives FILE A and FILE B the same byte"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        const bool bOther = std::string(c.m_name) == "other_direction";
        WriteFile(m_file, c.m_file);
        WriteFile(m_db, c.m_db.empty() ? DbBytes() : c.m_db);
        for (bool check : {false, true}) {
            SCOPED_TRACE(check ? "--check" : "patching");
            m_ui.QueueAnswer(IDYES);
            EXPECT_EQ(Patch(bOther ? 'b' : 'a', m_file, check), 2);
            EXPECT_NE(m_err.find(c.m_strErr), std::string::npos) << m_err;
            EXPECT_EQ(ReadFile(m_file), c.m_file);
            EXPECT_EQ(m_out, "");
        }
        EXPECT_TRUE(m_ui.BoxTexts().empty());
    }
    WriteFile(m_db, DbBytes());
    EXPECT_EQ(Patch('a', m_dir / "missing.img", true), 2);
    EXPECT_EQ(m_err, "octetwatch-cli: cannot open " + (m_dir / "missing.img") +
                         ": No such file or directory; nothing was written\n");
}

TEST_F(PatchCommandTest, FailedPatchLeavesWhatTheReversePatchUndoes) {
    struct Case {
        const char* m_name;
        std::int64_t m_step;  // spacing of the differences
        std::uint64_t m_nFail; // bytes written (or read) before the fault
        int m_err;
        bool m_bReads;         // the fault hits the reads (the read-back) rather than the writes
        std::string m_strErr;
    };
    const Case cases[] = {
        // One write per address: the sixth fails.
        {"sixth_write", 5000, 5, EIO, false,
         "writing @ at address 00000061A8 h (25000) failed: Input/output error; 5 bytes were "
         "written: 5 of 14 addresses now hold FILE B's byte, 9 still FILE A's. To undo: "
         "octetwatch-cli --patch=# --from=b @; to finish: the same command again\n"},
        // All addresses in one write, cut short by a full disk after its first 100 bytes.
        {"one_write_cut_short", 64, 100, ENOSPC, false,
         "writing @ at address 0000000000 h (0) failed: No space left on device; 2 bytes were "
         "written: 2 of 1024 addresses now hold FILE B's byte, 1022 still FILE A's. To undo"},
        // The check and the writes read the 14 addresses in one span of 65,001 bytes each; then
        // the read-back fails.
        {"read_back", 5000, 2 * 65001, EIO, true,
         "reading @ back failed: Input/output error; 14 bytes were written before the failure, "
         "and @ could not be read back to tell what it holds now\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.m_name);
        MakeFiles(65536, 0, c.m_step);
        WriteFile(m_file, m_a);
        if (c.m_bReads)
            m_ui.FailReads(m_file, c.m_nFail, c.m_err);
        else
            m_ui.FailWrites(m_file, c.m_nFail, c.m_err);

        EXPECT_EQ(PatchYes('a', m_file), 2);

        std::string expected = c.m_strErr;
        for (std::size_t at; (at = expected.find('@')) != std::string::npos;)
            expected.replace(at, 1, m_file);
        if (auto at = expected.find('#'); at != std::string::npos)
            expected.replace(at, 1, m_db);
        EXPECT_NE(m_err.find(expected), std::string::npos) << m_err;
        EXPECT_EQ(m_out, "");
        // The faults end; the reverse patch restores FILE A, or the same patch finishes it.
        m_ui.FailReads(m_file, UINT64_MAX, 0);
        m_ui.FailWrites(m_file, UINT64_MAX, 0);
        const std::string left = ReadFile(m_file);
        if (c.m_bReads) {
            EXPECT_EQ(left, m_b);
            continue;
        }
        EXPECT_EQ(PatchYes('b', m_file), 0) << m_err;
        EXPECT_EQ(ReadFile(m_file), m_a);
        WriteFile(m_file, left);
        EXPECT_EQ(PatchYes('a', m_file), 0) << m_err;
        EXPECT_EQ(ReadFile(m_file), m_b);
        EXPECT_NE(m_err.find(" is partly patched: "), std::string::npos);
    }
}

// Whatever order the bytes were written in, a file holding one of the two bytes at every address
// is finished by the same patch and undone by the reverse one.
TEST_F(PatchCommandTest, PartlyPatchedInAnyOrderIsFinishedOrUndone) {
    MakeFiles(65536, 0, 5000); // 14 addresses
    for (const std::string& mixed :
         {With(m_a, m_b, {0, 2}), With(m_a, m_b, {13}), With(m_a, m_b, {1, 5, 6, 12})}) {
        for (char from : {'a', 'b'}) {
            WriteFile(m_file, mixed);
            EXPECT_EQ(PatchYes(from, m_file), 0) << m_err;
            EXPECT_EQ(ReadFile(m_file), from == 'a' ? m_b : m_a);
            EXPECT_NE(m_err.find(" is partly patched: "), std::string::npos) << m_err;
        }
    }
}

TEST_F(PatchCommandTest, ScatteredBytesLeaveTheHolesOfASparseFileAlone) {
    // 2048 addresses 32 KiB apart: they share reads, but each is written alone.
    std::string db = Le64(2048);
    for (std::int64_t i = 0; i < 2048; ++i)
        db += Le64(static_cast<std::uint64_t>(i * 32768 + 5)) + '\0' + '\1';
    WriteFile(m_db, db);
    MakeSparse(m_file, std::int64_t{64} << 20);
    EXPECT_EQ(PatchYes('a', m_file), 0) << m_err;
    struct stat st {};
    ASSERT_EQ(::stat(m_file.c_str(), &st), 0);
    EXPECT_LT(st.st_blocks * 512, 16 << 20); // a block each is 8 MiB; the whole span 64 MiB
}

TEST_F(PatchCommandTest, FullDatabaseMayBeCut) {
    // 1,000,000 differences in a row, as many as a database holds.
    MakeFiles(1000000 + 4096, 0, 1);
    m_adrs.resize(1000000);
    WriteFile(m_db, DbBytes());
    WriteFile(m_file, m_a);
    EXPECT_EQ(PatchYes('a', m_file), 0) << m_err;
    EXPECT_EQ(m_err, "octetwatch-cli: " + m_db + " holds 1000000 records, as many as a database "
                                                 "keeps: the comparison may have found more "
                                                 "differences, which it does not hold\n");
    const std::string patched = ReadFile(m_file);
    EXPECT_EQ(patched.substr(0, 1000000), m_b.substr(0, 1000000));
    EXPECT_EQ(patched.substr(1000000), m_a.substr(1000000));
}

} // namespace
