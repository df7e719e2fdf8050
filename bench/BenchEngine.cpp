// Runs one comparison the way the main window does, on the worker thread, and reports its time
// and the process's peak memory. Also makes the benchmark's input files.
//
//   octw_bench_engine run FILE_A FILE_B LOG [DB]    (DB given: the difference database is built)
//   octw_bench_engine crowd MEMORY FILE_A FILE_B LOG (a run told the machine has MEMORY bytes, so
//                                                     that it drops what it read from the cache)
//   octw_bench_engine flip SRC DST STRIDE            (DST = SRC with every STRIDE-th byte inverted)
//   octw_bench_engine floor FILE_A FILE_B FOLD       (only the system calls a run with the database
//                                                     must make for these files' differences)
//   octw_bench_engine plain FILE_A FILE_B            (the plain loop a run must beat: both files
//                                                     read in page-aligned blocks one after the
//                                                     other, each pair compared with memcmp)
#include "diffdb/CMyDiffDataBase.h"
#include "engine/CMyMakeFile.h"
#include "platform/AlignedBuffer.h"
#include "ui/Control.h"
#include "platform/Encoding.h"
#include "platform/Faults.h"
#include "platform/FileStatus.h"
#include "platform/Format.h"
#include "ui/ModelUi.h"
#include "res/Dialogs.h"
#include "res/Resource.h"
#include "util/PathUtil.h"
#include "util/Trace.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

// Boxes are answered OK (Yes for questions) without a word; the overwrite question is answered
// Yes, so a run never waits for anyone.
class QuietUi : public ui::ModelUi {
public:
    ~QuietUi() override { JoinWorker(); } // the worker calls the overrides below until it ends
    int MessageBox(const ui::BoxSpec& box) override {
        ++m_nBoxes;
        return box.m_buttons == ui::BoxButtons::YesNo ? IDYES : IDOK;
    }
    int OverwriteQuestion(const ui::DialogTemplate&, const std::string&) override {
        return IDOK;
    }
    int m_nBoxes = 0;
};

// Tells the run the machine's memory is `m_nMemory` bytes, and nothing else.
class MemoryFigure : public platform::IFaultInjector {
public:
    explicit MemoryFigure(std::uint64_t memory) : m_nMemory(memory) {}
    void OnOpen(int, const std::string&) override {}
    int OnClose(int) override { return 0; }
    int OnRead(int, std::int64_t, std::size_t&) override { return 0; }
    int OnWrite(int, std::size_t&) override { return 0; }
    bool OnFreeSpace(const std::string&, std::uint64_t&) override { return false; }
    bool OnAllocate(std::size_t) override { return true; }
    bool OnMemorySize(std::uint64_t& bytes) override {
        bytes = m_nMemory;
        return true;
    }

private:
    std::uint64_t m_nMemory;
};

class NullWindow : public ui::CWndTarget {
public:
    LRESULT WindowProc(UINT, WPARAM, LPARAM) override { return 0; }
    void OnCommand(int) override {}
    void OnDropFiles(int, const std::vector<std::string>&) override {}
};

// Processor time of the whole process so far (user and system), in seconds.
double CpuSeconds() {
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::int64_t SizeOf(const std::string& path) {
    platform::FileStatus st;
    return platform::GetFileStatus(path, &st) ? st.m_i64Size : -1;
}

int Run(const std::string& fileA, const std::string& fileB, const std::string& log,
        const std::string& db) {
    QuietUi ui;
    ui::SetUi(&ui);
    NullWindow window;
    ui.CreateDialogWindow(MainDialogTemplate(), &window);

    // The program's folder (trace, database space check) is the log's folder.
    std::string file, fold;
    SplitFileAndFold(log.c_str(), &file, &fold);
    platform::OverrideExecutablePath(fold + "/octetwatch");
    g_strModuleFold = fold;
    g_strTracePath = fold + "/DataTrace.txt";
    ResetTraceFile();

    FILEDATA data;
    data.strFileA = fileA;
    data.strFileB = fileB;
    data.strLogFile = log;
    data.i64SizeA = SizeOf(fileA);
    data.i64SizeB = SizeOf(fileB);
    if (data.i64SizeA < 0 || data.i64SizeB < 0) {
        std::fprintf(stderr, "cannot measure the input files\n");
        return 2;
    }
    SetSizeRelation(&data);

    const ui::CControl progress(IDC_PROGRESS);
    const ui::CControl btnExe(IDC_BTN_EXECUTE);
    const ui::CControl btnStop(IDC_BTN_STOP);
    CMyDiffDataBase store;
    auto engine = std::make_unique<CMyMakeFile>();
    engine->m_hWndMain = &window;

    const double cpu0 = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    btnExe.EnableWindow(FALSE);
    RunSetup setup(&data, &progress, &btnExe, &btnStop);
    if (!db.empty()) {
        store.ResetDiffData();
        setup.m_pDiffDataBase = &store;
        setup.m_strDBFileName = db;
    }
    engine->Configure(setup);
    CMyMakeFile* p = engine.get();
    ui.StartWorker([p] { return CompareThreadProc(p); });
    ui.WaitWorker();
    ui.Pump();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    const double cpu = CpuSeconds() - cpu0;
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("engine_s=%.3f cpu_s=%.3f peak_rss_kib=%ld diffs=%lld stored=%lld boxes=%d\n",
                seconds, cpu, usage.ru_maxrss, static_cast<long long>(engine->Result().m_i64DiffCount),
                static_cast<long long>(store.GetDiffNum()), ui.m_nBoxes);
    ui.DestroyDialogWindow();
    ui::SetUi(nullptr);
    return engine->Result().m_i64Compared == data.i64SearchSize ? 0 : 1;
}

int Flip(const std::string& src, const std::string& dst, long stride) {
    std::ifstream in(src, std::ios::binary);
    std::ofstream out(dst, std::ios::binary | std::ios::trunc);
    std::vector<char> buf(1 << 20);
    long long pos = 0;
    while (in) {
        in.read(buf.data(), static_cast<std::streamsize>(buf.size()));
        const auto n = static_cast<std::size_t>(in.gcount());
        for (std::size_t i = 0; i < n; ++i)
            if ((pos + static_cast<long long>(i)) % stride == stride - 1)
                buf[i] = static_cast<char>(~buf[i]);
        out.write(buf.data(), static_cast<std::streamsize>(n));
        pos += static_cast<long long>(n);
    }
    return out ? 0 : 2;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What no run can do without: one write per log line to a log in FOLD, then, for each of the
// first differences the store refuses (the trace names no more), one open, write and close of the
// trace in FOLD. The differences
// are found before the clock starts.
int Floor(const std::string& fileA, const std::string& fileB, const std::string& fold) {
    struct Diff {
        std::int64_t m_i64Adrs;
        unsigned char m_bA, m_bB;
    };
    const std::string a = ReadAll(fileA), b = ReadAll(fileB);
    std::vector<Diff> diffs;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        if (a[i] != b[i])
            diffs.push_back({static_cast<std::int64_t>(i), static_cast<unsigned char>(a[i]),
                             static_cast<unsigned char>(b[i])});
    // The store's refusal as the trace holds it; its numbers do not change what it costs.
    const std::string refusal = platform::Utf8ToCp932(platform::Format(
        "※アイテム数が多すぎて追加できません。CMyDiffDataBase::AddDiffData()\r\n"
        "\tItemNum[%015I64d], ADRS[%015I64d], bDataA[%02X], bDataB[%02X]\r\n",
        CMyDiffDataBase::kMaxItems, std::int64_t{0}, 0, 0));
    const std::string log = fold + "/Floor.txt", trace = fold + "/FloorTrace.txt";

    const double cpu0 = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return 2;
    static constexpr char kHex[] = "0123456789ABCDEF";
    char line[] = "0000000000 h :   00      00\r\n";
    for (std::size_t n = 0; n < diffs.size(); ++n) {
        const Diff& d = diffs[n];
        for (int i = 0; i < 10; ++i)
            line[9 - i] = kHex[(d.m_i64Adrs >> (4 * i)) & 0xF];
        line[17] = kHex[d.m_bA >> 4];
        line[18] = kHex[d.m_bA & 0xF];
        line[25] = kHex[d.m_bB >> 4];
        line[26] = kHex[d.m_bB & 0xF];
        if (::write(fd, line, sizeof line - 1) != static_cast<ssize_t>(sizeof line - 1))
            return 2;
        if (static_cast<std::int64_t>(n) >= CMyDiffDataBase::kMaxItems &&
            static_cast<std::int64_t>(n) <
                CMyDiffDataBase::kMaxItems + CMyDiffDataBase::kRefusalLines) {
            const int t = ::open(trace.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
            if (t < 0 || ::write(t, refusal.data(), refusal.size()) < 0)
                return 2;
            ::close(t);
        }
    }
    ::close(fd);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("floor_s=%.3f cpu_s=%.3f diffs=%zu\n", seconds, CpuSeconds() - cpu0,
                diffs.size());
    ::unlink(log.c_str());
    ::unlink(trace.c_str());
    return 0;
}

// Reads all of `n` bytes unless the file ends first; -1 on an error.
ssize_t ReadFull(int fd, unsigned char* p, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::read(fd, p + done, n - done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<ssize_t>(done);
}

// The floor of a run over files in the page cache: nothing but the reads and a memcmp per block.
int Plain(const std::string& fileA, const std::string& fileB) {
    platform::CAlignedBuffer bufA, bufB;
    if (!bufA.Allocate(CMyMakeFile::kBlockSize, false) ||
        !bufB.Allocate(CMyMakeFile::kBlockSize, false))
        return 2;
    const auto start = std::chrono::steady_clock::now();
    const int fdA = ::open(fileA.c_str(), O_RDONLY | O_CLOEXEC);
    const int fdB = ::open(fileB.c_str(), O_RDONLY | O_CLOEXEC);
    if (fdA < 0 || fdB < 0)
        return 2;
    long long same = 0;
    for (;;) {
        const ssize_t a = ReadFull(fdA, bufA.Data(), bufA.Size());
        const ssize_t b = ReadFull(fdB, bufB.Data(), bufB.Size());
        if (a < 0 || b < 0)
            return 2;
        const ssize_t n = std::min(a, b);
        if (n == 0)
            break;
        same += std::memcmp(bufA.Data(), bufB.Data(), static_cast<std::size_t>(n)) == 0;
    }
    ::close(fdA);
    ::close(fdB);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("plain_s=%.3f equal_blocks=%lld\n", seconds, same);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 4 && args[0] == "run")
        return Run(args[1], args[2], args[3], args.size() >= 5 ? args[4] : std::string());
    if (args.size() == 5 && args[0] == "crowd") {
        MemoryFigure figure(std::stoull(args[1]));
        platform::SetFaultInjector(&figure);
        const int result = Run(args[2], args[3], args[4], std::string());
        platform::SetFaultInjector(nullptr);
        return result;
    }
    if (args.size() == 4 && args[0] == "flip")
        return Flip(args[1], args[2], std::stol(args[3]));
    if (args.size() == 4 && args[0] == "floor")
        return Floor(args[1], args[2], args[3]);
    if (args.size() == 3 && args[0] == "plain")
        return Plain(args[1], args[2]);
    std::fprintf(stderr, "usage: octw_bench_engine run A B LOG [DB] | crowd MEMORY A B LOG | "
                         "flip SRC DST STRIDE | floor A B FOLD | plain A B\n");
    return 2;
}
