#include "cli/PatchCommand.h"

#include "cli/ConsoleUi.h"
#include "cli/RemoteOptions.h"
#include "cli/Say.h"
#include "diffdb/CMyDiffDBReader.h"
#include "diffdb/CMyDiffDataBase.h"
#include "diffdb/CMyDiffPatch.h"
#include "platform/Format.h"
#include "util/RemoteName.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

const char* const kPatchUsage =
    "\n"
    "Usage: octetwatch-cli --patch=DB --from=a|b [--check] [--yes|--no] FILE\n"
    "Patch FILE in place from the difference database DB that a comparison with --db wrote.\n"
    "FILE may be [USER@]HOST:PATH: it is then checked and written by the program there.\n"
    "With --from=a, FILE holds FILE_A's byte at every address of DB and gets FILE_B's;\n"
    "--from=b is the reverse, and so undoes a patch made with --from=a. Every address is\n"
    "checked before the first write: if FILE holds neither of its two bytes at any address\n"
    "(or is too short), nothing is written.\n"
    "The bytes are written in address order, flushed to disk and read back. A patch or a\n"
    "repair that stopped part-way leaves FILE partly patched (each address holds one of\n"
    "its two bytes, in any order): the same patch finishes it, the reverse one undoes it.\n"
    "\n"
    "  --check        write nothing: exit 0 when FILE is ready to patch, 1 when it is\n"
    "                 already patched, 2 otherwise (partly patched, or not the file)\n"
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
        if (IsRemoteName(m_opt.m_strFile)) {
            m_pRemote = std::make_unique<CRemoteRepairTarget>(m_opt.m_strFile, m_opt.m_remote,
                                                             !m_opt.m_bCheck);
            platform::FileIdentity id;
            BOOL bChecked = FALSE;
            if (!m_pRemote->Open(&id)) {
                Say(m_pRemote->FailureText() + "; nothing was written");
                return kTrouble;
            }
            if (!m_pRemote->RunWriter(m_store, m_patch.IsFromA(), true, &m_patch, &bChecked) ||
                !bChecked) {
                Say(m_pRemote->FailureText().empty()
                        ? "reading " + m_opt.m_strFile + " failed: " +
                              std::strerror(m_patch.m_nErrno) + "; nothing was written"
                        : m_pRemote->FailureText() + "; nothing was written");
                return kTrouble;
            }
        } else if (!m_patch.OpenPatchFile(m_opt.m_strFile, m_opt.m_bCheck ? FALSE : TRUE)) {
            Say("cannot open " + m_opt.m_strFile + (m_opt.m_bCheck ? "" : " for writing") + ": " +
                std::strerror(m_patch.m_nErrno) + "; nothing was written");
            return kTrouble;
        } else if (!m_patch.CheckFile()) {
            Say("reading " + m_opt.m_strFile + " failed: " + std::strerror(m_patch.m_nErrno) +
                "; nothing was written");
            return kTrouble;
        }
        const std::string strNum = std::to_string(i64Num);
        switch (m_patch.GetVerdict()) {
        case CMyDiffPatch::kVerdictPatched:
            // An earlier patch whose flush failed leaves the new bytes in memory alone: flushed
            // here, they are on disk before this says so.
            if (!m_opt.m_bCheck && !Sync()) {
                Say("flushing " + m_opt.m_strFile + " to disk failed: " +
                    std::strerror(m_patch.m_nErrno) + "; it holds " + Side(m_cTo) +
                    " bytes at all " + strNum + " addresses, but they may not be on disk");
                return kTrouble;
            }
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
        const std::string strQuestion =
            "patch " + std::to_string(i64ToWrite) + " bytes of " + m_opt.m_strFile + "?";
        if (ui::AskYesNo(strQuestion, ui::BoxIcon::Question, 2) != IDYES) {
            Say(m_opt.m_strFile + " was not patched: the question was answered No");
            return kTrouble;
        }
        if (!Write()) {
            Say(FailureText());
            return kTrouble;
        }
        Print("patched " + std::to_string(i64ToWrite) + " bytes of " + m_opt.m_strFile +
              ": flushed to disk and read back as written");
        return kDone;
    }

private:
    // The flush and the write, here or on the file's host.
    bool Sync() {
        if (!m_pRemote)
            return m_patch.SyncFile() != FALSE;
        int nErrno = 0;
        if (!m_pRemote->SyncFile(&nErrno))
            nErrno = EIO;
        m_patch.m_nErrno = nErrno;
        return nErrno == 0;
    }
    bool Write() {
        if (!m_pRemote)
            return m_patch.DoWrite() != FALSE;
        BOOL bOk = FALSE;
        if (!m_pRemote->RunWriter(m_store, m_patch.IsFromA(), false, &m_patch, &bOk)) {
            // The connection ended during the write: what the file holds is not known here.
            m_patch.m_bCounted = FALSE;
            m_patch.m_nFailure = CMyInPlaceWriter::kFailWrite;
            m_patch.m_nErrno = EIO;
            return false;
        }
        return bOk != FALSE;
    }
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
        std::string text =
            WriteFailureText(m_patch, m_store.GetDiffNum(), m_opt.m_strFile, m_opt.m_cFrom);
        if (m_patch.m_bCounted && m_patch.GetVerdict() != CMyDiffPatch::kVerdictMismatch)
            text += ". To undo: " + PatchCommandLine(m_opt.m_strDB, m_cTo, m_opt.m_strFile) +
                    "; to finish: the same command again";
        return text;
    }

    const PatchOptions& m_opt;
    std::FILE* m_out;
    std::FILE* m_err;
    const char m_cTo;
    CMyDiffDataBase m_store;
    CMyDiffPatch m_patch;
    std::unique_ptr<CRemoteRepairTarget> m_pRemote;
};

void SayUsage(const std::string& text) {
    SayTo(stderr, text);
    std::fputs(kPatchUsage + 1, stderr); // without its leading blank line
}

} // namespace

std::string WriteFailureText(const CMyInPlaceWriter& w, std::int64_t i64Num,
                             const std::string& strFile, char cFrom) {
    const char cTo = cFrom == 'a' ? 'b' : 'a';
    std::string text;
    switch (w.m_nFailure) {
    case CMyInPlaceWriter::kFailWrite:
        text = "writing " + strFile + " at address " + Adrs(w.m_i64FailAdrs) +
               " failed: " + std::strerror(w.m_nErrno);
        break;
    case CMyInPlaceWriter::kFailChanged:
        text = strFile + " changed while it was written: address " + Adrs(w.m_i64FailAdrs) +
               " no longer holds " + Side(cFrom) + " byte";
        break;
    case CMyInPlaceWriter::kFailSync:
        text = "flushing " + strFile + " to disk failed: " + std::strerror(w.m_nErrno);
        break;
    case CMyInPlaceWriter::kFailReadBack:
        text = w.m_nErrno != 0 ? "reading " + strFile + " back failed: " + std::strerror(w.m_nErrno)
                               : "read back, " + std::to_string(w.m_i64From + w.m_i64Other) +
                                     " addresses of " + strFile + " do not hold " + Side(cTo) +
                                     " byte as written";
        break;
    default:
        text = "reading " + strFile + " failed: " + std::strerror(w.m_nErrno);
        break;
    }
    if (!w.m_bCounted)
        return text + "; " + std::to_string(w.m_i64Written) +
               " bytes were written before the failure, and " + strFile +
               " could not be read back to tell what it holds now";
    // Counted from what the file holds now: a write cut short may have landed in part.
    text += "; " + std::to_string(w.m_i64To - w.m_i64ToBefore) + " bytes were written: " +
            std::to_string(w.m_i64To) + " of " + std::to_string(i64Num) + " addresses now hold " +
            Side(cTo) + " byte, " + std::to_string(w.m_i64From) + " still " + Side(cFrom);
    if (w.m_i64Other != 0)
        text += ", " + std::to_string(w.m_i64Other) + " neither";
    return text;
}

std::string PatchCommandLine(const std::string& strDB, char cFrom, const std::string& strFile) {
    // Quoted for a POSIX shell where a name holds anything beyond the plainest characters.
    auto quote = [](const std::string& s) {
        const bool bPlain = !s.empty() && s.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                              "abcdefghijklmnopqrstuvwxyz"
                                                              "0123456789_./:=@%+,-") ==
                                              std::string::npos;
        if (bPlain)
            return s;
        std::string q = "'";
        for (char c : s)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    return "octetwatch-cli " + quote("--patch=" + strDB) + " --from=" + cFrom +
           (strFile.rfind('-', 0) == 0 ? " -- " : " ") + quote(strFile);
}

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
    std::string strError;
    if (!RemoteAccessFromEnvironment(&opt.m_remote, &strError)) {
        SayUsage(strError);
        return kTrouble;
    }
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        bool bTaken = false;
        if (bOptionsEnd || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
        } else if (!TakeRemoteOption(arg, &opt.m_remote, &bTaken, &strError) || bTaken) {
            if (!strError.empty()) {
                SayUsage(strError);
                return kTrouble;
            }
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

    cli::ConsoleUi ui;
    ui.SetPresetAnswer(answer);
    ui::SetUi(&ui);
    const int nExit = DoPatchCommand(opt, stdout, stderr);
    ui::SetUi(nullptr);
    return nExit;
}

int DoPatchCommand(const PatchOptions& opt, std::FILE* out, std::FILE* err) {
    return CPatchRun(opt, out, err).Run();
}
