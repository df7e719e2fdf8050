#include "cli/PatchCommand.h"

#include "cli/ConsoleUi.h"
#include "cli/Say.h"
#include "diffdb/CMyDiffDBReader.h"
#include "diffdb/CMyDiffDataBase.h"
#include "diffdb/CMyDiffPatch.h"
#include "platform/Format.h"

#include <cstring>
#include <optional>

const char* const kPatchUsage =
    "\n"
    "Usage: octetwatch-cli --patch=DB --from=a|b [--check] [--yes|--no] FILE\n"
    "Patch FILE in place from the difference database DB that a comparison with --db wrote.\n"
    "With --from=a, FILE holds FILE_A's byte at every address of DB and gets FILE_B's;\n"
    "--from=b is the reverse, and so undoes a patch made with --from=a. Every address is\n"
    "checked before the first write: if FILE holds anything else anywhere, nothing is written.\n"
    "The bytes are written in address order, flushed to disk and read back. A patch that\n"
    "fails part-way says how far it got: the reverse patch then undoes it, the same one\n"
    "finishes it.\n"
    "\n"
    "  --check        write nothing: exit 0 when FILE is ready to patch, 1 when it is\n"
    "                 already patched, 2 otherwise\n"
    "  --yes, --no    the answer to \"patch N bytes of FILE?\"; without either it is asked\n"
    "                 when standard input is a terminal and answered No when it is not\n"
    "\n"
    "Exit status: 0 patched (or already patched), 2 refused, declined or failed.\n"
    "\n"
    "Compare today (the database is DiffData.db in the data folder, see Files above), patch\n"
    "another copy of monday.img tomorrow so that it becomes tuesday.img, and undo that:\n"
    "  octetwatch-cli --db monday.img tuesday.img\n"
    "  octetwatch-cli --patch=DiffData.db --from=a --yes copy.img\n"
    "  octetwatch-cli --patch=DiffData.db --from=b --yes copy.img\n";

namespace {

constexpr int kDone = 0;
constexpr int kAlreadyPatched = 1; // --check only
constexpr int kTrouble = 2;

std::string Adrs(std::int64_t i64Adrs) {
    return platform::Format("%010I64X h (%I64d)", i64Adrs, i64Adrs);
}

std::string Byte(BYTE b) { return platform::Format("%02X", static_cast<unsigned>(b)); }

std::string Side(char c) { return c == 'a' ? "FILE A's" : "FILE B's"; }

class CPatchRun {
public:
    CPatchRun(const PatchOptions& opt, std::FILE* out, std::FILE* err)
        : m_opt(opt), m_out(out), m_err(err), m_cTo(opt.m_cFrom == 'a' ? 'b' : 'a') {}

    int Run() {
        CMyDiffDBReader reader;
        if (!reader.ReadDBFileData(m_opt.m_strDB.c_str(), &m_store)) {
            Say(RefusalText(reader) + "; nothing was written");
            return kTrouble;
        }
        const std::int64_t i64Num = m_store.GetDiffNum();
        if (i64Num == CMyDiffDataBase::kMaxItems)
            Say(m_opt.m_strDB + " holds 1000000 records, as many as a database keeps: the "
                                "comparison may have found more differences, which it does not hold");

        m_patch.SetDataBaseADRS(&m_store);
        m_patch.SetPatchSource(m_opt.m_cFrom == 'a' ? TRUE : FALSE);
        if (!m_patch.OpenPatchFile(m_opt.m_strFile, m_opt.m_bCheck ? FALSE : TRUE)) {
            Say("cannot open " + m_opt.m_strFile + (m_opt.m_bCheck ? "" : " for writing") + ": " +
                std::strerror(m_patch.m_nErrno) + "; nothing was written");
            return kTrouble;
        }
        if (!m_patch.CheckPatchFile()) {
            Say("reading " + m_opt.m_strFile + " failed: " + std::strerror(m_patch.m_nErrno) +
                "; nothing was written");
            return kTrouble;
        }
        const std::string strNum = std::to_string(i64Num);
        switch (m_patch.GetVerdict()) {
        case CMyDiffPatch::kVerdictPatched:
            Print(m_opt.m_strFile + " is already patched: all " + strNum + " addresses hold " +
                  Side(m_cTo) + " bytes" + (m_opt.m_bCheck ? "" : "; nothing was written"));
            return m_opt.m_bCheck ? kAlreadyPatched : kDone;
        case CMyDiffPatch::kVerdictMismatch:
            Say(MismatchText());
            return kTrouble;
        case CMyDiffPatch::kVerdictPartly:
            Say(m_opt.m_strFile + " is partly patched: " + std::to_string(m_patch.m_i64To) + " of " +
                strNum + " addresses hold " + Side(m_cTo) + " bytes, the others " +
                Side(m_opt.m_cFrom) + "; --from=" + m_opt.m_cFrom + " finishes the patch, --from=" +
                m_cTo + " undoes it");
            if (m_opt.m_bCheck)
                return kTrouble;
            break;
        default:
            if (m_opt.m_bCheck) {
                Print(m_opt.m_strFile + " is ready to patch: all " + strNum + " addresses hold " +
                      Side(m_opt.m_cFrom) + " bytes");
                return kDone;
            }
            break;
        }

        const std::int64_t i64ToWrite = m_patch.m_i64From;
        m_i64ToBefore = m_patch.m_i64To;
        const std::string strQuestion =
            "patch " + std::to_string(i64ToWrite) + " bytes of " + m_opt.m_strFile + "?";
        if (platform::AskYesNo(strQuestion, platform::BoxIcon::Question, 2) != IDYES) {
            Say(m_opt.m_strFile + " was not patched: the question was answered No");
            return kTrouble;
        }
        if (!m_patch.DoPatch()) {
            Say(FailureText());
            return kTrouble;
        }
        Print("patched " + std::to_string(i64ToWrite) + " bytes of " + m_opt.m_strFile +
              ": flushed to disk and read back as written");
        return kDone;
    }

private:
    void Say(const std::string& text) { SayTo(m_err, text); }
    void Print(const std::string& text) {
        std::fputs((text + "\n").c_str(), m_out);
        std::fflush(m_out);
    }

    std::string RefusalText(const CMyDiffDBReader& r) const {
        const std::string& db = m_opt.m_strDB;
        const std::string strRecord = "record " + std::to_string(r.m_i64Index);
        switch (r.m_nRefusal) {
        case CMyDiffDBReader::kRefusalOpen:
            return "cannot read the database " + db + ": " + std::strerror(r.m_nErrno);
        case CMyDiffDBReader::kRefusalRead:
            return r.m_nErrno != 0 ? "reading the database " + db + " failed: " +
                                         std::strerror(r.m_nErrno)
                                   : "the database " + db + " changed while it was read";
        case CMyDiffDBReader::kRefusalSize:
            return db + " is not a difference database: its size, " + std::to_string(r.m_i64Size) +
                   " bytes, is not 8 + 10 x N";
        case CMyDiffDBReader::kRefusalTooMany:
            return db + " is not a difference database: its size, " + std::to_string(r.m_i64Size) +
                   " bytes, would hold more than 1000000 records";
        case CMyDiffDBReader::kRefusalCount:
            return "the database " + db + " is damaged: it counts " + std::to_string(r.m_i64Count) +
                   " records, its size holds " +
                   std::to_string((r.m_i64Size - CMyDiffDBReader::kHeaderSize) /
                                  CMyDiffDBReader::kRecordSize);
        case CMyDiffDBReader::kRefusalNegativeAdrs:
            return "the database " + db + " is damaged: " + strRecord + " has a negative address, " +
                   std::to_string(r.m_i64Adrs);
        case CMyDiffDBReader::kRefusalOrder:
            return "the database " + db + " is damaged: " + strRecord + ", address " +
                   Adrs(r.m_i64Adrs) + ", does not follow the one before it, " +
                   Adrs(r.m_i64PrevAdrs) + " (addresses must increase)";
        case CMyDiffDBReader::kRefusalSameBytes:
            return "the database " + db + " is damaged: " + strRecord + ", address " +
                   Adrs(r.m_i64Adrs) + ", gives FILE A and FILE B the same byte";
        default:
            return "not enough memory to read the database " + db;
        }
    }

    std::string MismatchText() const {
        const auto k = static_cast<std::size_t>(m_patch.m_i64FirstBad);
        const std::int64_t i64Adrs = m_store.m_ai64Adrs[k];
        const BYTE bFrom = m_opt.m_cFrom == 'a' ? m_store.m_abDataA[k] : m_store.m_abDataB[k];
        std::string text = m_opt.m_strFile + " is not the file " + m_opt.m_strDB +
                           " can patch --from=" + m_opt.m_cFrom + ": at address " + Adrs(i64Adrs);
        if (m_patch.m_bFirstBadInside)
            text += " it holds " + Byte(m_patch.m_bFirstBadHeld) + ", " + Side(m_opt.m_cFrom) +
                    " byte is " + Byte(bFrom);
        else
            text += " it has ended (" + std::to_string(m_patch.m_i64FileSize) + " bytes), " +
                    Side(m_opt.m_cFrom) + " byte is " + Byte(bFrom);
        text += "; " + std::to_string(m_patch.m_i64To + m_patch.m_i64Other) + " of " +
                std::to_string(m_store.GetDiffNum()) + " addresses do not hold " +
                Side(m_opt.m_cFrom) + " byte; nothing was written";
        return text;
    }

    std::string FailureText() const {
        const std::string& file = m_opt.m_strFile;
        std::string text;
        switch (m_patch.m_nFailure) {
        case CMyDiffPatch::kFailWrite:
            text = "writing " + file + " at address " + Adrs(m_patch.m_i64FailAdrs) +
                   " failed: " + std::strerror(m_patch.m_nErrno);
            break;
        case CMyDiffPatch::kFailChanged:
            text = file + " changed while it was patched: address " + Adrs(m_patch.m_i64FailAdrs) +
                   " no longer holds " + Side(m_opt.m_cFrom) + " byte";
            break;
        case CMyDiffPatch::kFailSync:
            text = "flushing " + file + " to disk failed: " + std::strerror(m_patch.m_nErrno);
            break;
        case CMyDiffPatch::kFailReadBack:
            text = m_patch.m_nErrno != 0
                       ? "reading " + file + " back failed: " + std::strerror(m_patch.m_nErrno)
                       : "read back, " + std::to_string(m_patch.m_i64From + m_patch.m_i64Other) +
                             " addresses of " + file + " do not hold " + Side(m_cTo) +
                             " byte as written";
            break;
        default:
            text = "reading " + file + " failed: " + std::strerror(m_patch.m_nErrno);
            break;
        }
        if (!m_patch.m_bCounted)
            return text + "; " + std::to_string(m_patch.m_i64Written) +
                   " bytes were written before the failure, and " + file +
                   " could not be read back to tell what it holds now";
        const std::string strNum = std::to_string(m_store.GetDiffNum());
        // Counted from what the file holds now: a write cut short may have landed in part.
        text += "; " + std::to_string(m_patch.m_i64To - m_i64ToBefore) + " bytes were written: " +
                std::to_string(m_patch.m_i64To) + " of " + strNum + " addresses now hold " +
                Side(m_cTo) + " byte, " + std::to_string(m_patch.m_i64From) + " still " +
                Side(m_opt.m_cFrom);
        if (m_patch.m_i64Other != 0)
            text += ", " + std::to_string(m_patch.m_i64Other) + " neither";
        if (m_patch.GetVerdict() != CMyDiffPatch::kVerdictMismatch)
            text += ". To undo: octetwatch-cli --patch=" + m_opt.m_strDB + " --from=" + m_cTo +
                    " " + file + "; to finish: the same command again";
        return text;
    }

    const PatchOptions& m_opt;
    std::FILE* m_out;
    std::FILE* m_err;
    const char m_cTo;
    std::int64_t m_i64ToBefore = 0;
    CMyDiffDataBase m_store;
    CMyDiffPatch m_patch;
};

void SayUsage(const std::string& text) {
    SayTo(stderr, text);
    std::fputs(kPatchUsage + 1, stderr); // without its leading blank line
}

} // namespace

bool IsPatchCommand(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strncmp(argv[i], "--patch=", 8) == 0)
            return true;
    }
    return false;
}

int RunPatchCommand(int argc, char** argv) {
    PatchOptions opt;
    std::optional<bool> answer;
    bool bOptionsEnd = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (bOptionsEnd || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
        } else if (arg == "--") {
            bOptionsEnd = true;
        } else if (arg == "--help") {
            std::fputs(kPatchUsage + 1, stdout);
            return kDone;
        } else if (arg.rfind("--patch=", 0) == 0) {
            opt.m_strDB = arg.substr(8);
        } else if (arg == "--from=a" || arg == "--from=b") {
            opt.m_cFrom = arg.back();
        } else if (arg == "--check") {
            opt.m_bCheck = true;
        } else if (arg == "--yes" || arg == "--no") {
            if (answer && *answer != (arg == "--yes")) {
                SayUsage("--yes and --no cannot be given together");
                return kTrouble;
            }
            answer = arg == "--yes";
        } else {
            SayUsage("--patch does not take " + arg);
            return kTrouble;
        }
    }
    if (opt.m_strDB.empty() || opt.m_cFrom == 0 || files.size() != 1) {
        SayUsage(opt.m_strDB.empty() ? "--patch needs the database file"
                 : opt.m_cFrom == 0   ? "--patch needs --from=a or --from=b"
                                      : "--patch needs exactly one FILE");
        return kTrouble;
    }
    opt.m_strFile = files[0];

    platform::ConsoleUi ui;
    ui.SetPresetAnswer(answer);
    platform::SetUi(&ui);
    const int nExit = DoPatchCommand(opt, stdout, stderr);
    platform::SetUi(nullptr);
    return nExit;
}

int DoPatchCommand(const PatchOptions& opt, std::FILE* out, std::FILE* err) {
    return CPatchRun(opt, out, err).Run();
}
