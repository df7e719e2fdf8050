#pragma once
// The comparison engine: one run of FILE A against FILE B on the worker thread, writing the result
// log, feeding the difference store and reporting to the main window.
#include "engine/CMyBlockReader.h"
#include "engine/CMyLogSpace.h"
#include "engine/CMyRemoteReader.h"
#include "engine/RemoteSource.h"
#include "platform/AlignedBuffer.h"
#include "ui/Control.h"
#include "platform/LowFile.h"
#include "platform/TextFile.h"
#include "ui/Ui.h"
#include "platform/WinTypes.h"
#include "engine/FileData.h"

#include <atomic>
#include <memory>
#include <cstdint>
#include <string>
#include <string_view>

class CMyDiffDataBase;

// How the last run ended, recorded by the worker before it ends; read once it has ended.
enum class RunOutcome {
    kNone,           // no run has ended since the engine was last configured
    kCompleted,      // every byte compared, the log closed with its closing lines
    kLogUnfinished,  // every byte compared, but the log's closing lines or its close failed
    kStopped,        // the stop button (or a stop signal) ended it after a unit of work
    kDeclined,       // the log exists and its overwrite question was answered No
    kOpenFailed,     // FILE A, FILE B or the log could not be opened
    kLogBusy,        // another run was writing the log
    kReadFailed,     // a read failed or came short of the measured size
    kDiskReserve,    // abandoned at a difference the log's disk had no room for
    kAbandoned,      // abandoned because the window was closed
    kLogWriteFailed, // abandoned at a difference the log would not take, its disk not full
    kFileChanged,    // every byte compared, but FILE A or FILE B changed during the run
};

// What the main window hands the engine before each run, in the one order the engine is
// configured in (Configure).
struct RunSetup {
    RunSetup(const FILEDATA* pFileData, const ui::CControl* pProgCtrl,
             const ui::CControl* pBtnExe, const ui::CControl* pBtnStop)
        : m_pFileData(pFileData), m_pProgCtrl(pProgCtrl), m_pBtnExe(pBtnExe), m_pBtnStop(pBtnStop) {}

    const FILEDATA* m_pFileData = nullptr;
    const ui::CControl* m_pProgCtrl = nullptr;
    const ui::CControl* m_pBtnExe = nullptr;
    const ui::CControl* m_pBtnStop = nullptr;
    BOOL m_bDisplayDiff = FALSE;
    CMyDiffDataBase* m_pDiffDataBase = nullptr; // the store to fill; nullptr: no database
    std::string m_strDBFileName;
    // Only whether the files differ: no log, no summary, the run ends at the first difference.
    BOOL m_bBrief = FALSE;
    // How FILE A or FILE B is reached when it is named HOST:PATH.
    RemoteAccess m_remote;
};

class CMyMakeFile {
public:
    static constexpr std::uint32_t kBlockSize = 0x800000; // 8 MiB: one read per file
    static constexpr std::uint32_t kChunkSize = 0x80000;  // 512 KiB: one unit of comparison
    static constexpr std::uint32_t kChunksPerBlock = 16;
    static constexpr std::int64_t kDiskReserve = 2048;

    CMyMakeFile();
    ~CMyMakeFile();
    CMyMakeFile(const CMyMakeFile&) = delete;
    CMyMakeFile& operator=(const CMyMakeFile&) = delete;

    // --- configuration (UI thread, before the worker starts) ---
    void SetPorgCtrl(const ui::CControl* pProgCtrl);
    void SetBtnExe(const ui::CControl* pBtn);
    void SetBtnStop(const ui::CControl* pBtn);
    void SetFileDataEx(const FILEDATA* pFileData);
    BOOL SetUseDBFile(BOOL bUse);
    BOOL SetDiffDataBaseADRS(CMyDiffDataBase* pDiffDataBase);
    BOOL SetDiffDBFileName(const char* pFileName);
    void ResetFileData();
    void ResetSearchState();
    void StopSearch();
    // Every setting of a run, in the order the setters must be called; the run is marked as
    // under way (m_bRunning) before the worker exists, so a short run cannot end before it is.
    void Configure(const RunSetup& setup);
    // How the last run ended; kNone while one is configured or under way.
    RunOutcome Outcome() const { return m_outcome.load(); }
    // Whether the last run saved its difference database.
    bool DataBaseSaved() const { return m_bDBSaved.load(); }
    // Which files the last run opened (for the repair's check that it patches those files).
    const platform::FileIdentity& IdentityOfA() const { return m_idFileA; }
    const platform::FileIdentity& IdentityOfB() const { return m_idFileB; }
    const CMyBlockReader& Reader() const { return m_reader; }
    // After kFileChanged: bit 0 FILE A, bit 1 FILE B.
    int ChangedFiles() const { return m_nChangedFiles; }
    // After kLogWriteFailed: the system's reason.
    int LogWriteErrno() const { return m_nLogErrno; }
    // After kOpenFailed or kReadFailed: why a remote FILE A (0) or FILE B (1) failed, in English.
    const std::string& RemoteFailure(int nFile) const { return m_astrRemoteFailure[nFile]; }
    // Bytes that crossed the connections of the last run, both directions.
    std::uint64_t RemoteBytes() const { return m_nRemoteBytes; }

    // --- the run (worker thread) ---
    BOOL ExecStep();
    void SearchNext();
    void CompareData(std::uint32_t nCount);
    void ReadBlockData();
    void SetSearchSize();
    BOOL AllFileOpen();
    void CloseAllFile();
    void EndSearch();
    void SaveDBFileData();

    // --- the result log ---
    BOOL OpenLogFile(platform::CTextFile* pFile, platform::FileError* pError);
    void WriteLogHeader();
    // A log line ("%010I64X h :   %02X      %02X" and its line end) in `line`.
    static constexpr std::size_t kLineRoom = 64;
    std::string_view FormatDiffLine(char (&line)[kLineRoom], std::int64_t i64Adrs, BYTE bDataA,
                                    BYTE bDataB) const;
    BOOL WriteLogFooter(); // FALSE when the closing lines did not reach the file

    // What every difference reads, in two lines of memory: a flood of differences is a system
    // call per line of the log, after which the processor fetches anew whatever the next
    // difference touches.
    alignas(64) std::atomic<BOOL> m_bAbort{FALSE}; // flags shared by the two threads, as below
    std::atomic<BOOL> m_bDisplayDiff{FALSE};
    std::uint32_t m_nBufPos = 0;
    int m_nSizeMode = SIZE_NOT_SET;
    std::int64_t m_i64Adrs = 0;
    std::int64_t m_i64DiffCount = 0;
    CMyDiffDataBase* m_pDiffDataBase = nullptr;
    BOOL m_bUseDB = FALSE;
    BYTE* m_pBufA = nullptr;
    BYTE* m_pBufB = nullptr;
    CMyLogSpace m_logSpace;
    platform::CTextFile m_fileLog; // its handle and count first

    // Configuration.
    ui::HWND m_hWndMain = nullptr;
    BOOL m_bBrief = FALSE;
    RemoteAccess m_remote;
    const ui::CControl* m_pProgCtrl = nullptr;
    const ui::CControl* m_pBtnExe = nullptr;
    const ui::CControl* m_pBtnStop = nullptr;
    std::string m_strFileA;
    std::string m_strFileB;
    std::string m_strLogFile;
    std::int64_t m_i64SizeA = 0;
    std::int64_t m_i64SizeB = 0;
    std::int64_t m_i64SearchSize = 0;
    std::int64_t m_i64OffsetB = 0;
    std::string m_strDBFileName;

    // Flags shared by the two threads; each is written by one side and polled by the other.
    std::atomic<BOOL> m_bFinish{FALSE};
    std::atomic<BOOL> m_bRunning{FALSE};
    BOOL m_bStarted = FALSE;

    // The run.
    int m_nFileA = -1;
    int m_nFileB = -1;
    BOOL m_bOpenA = FALSE;
    BOOL m_bOpenB = FALSE;
    BOOL m_bOpenLog = FALSE;
    std::int64_t m_i64BlockLeft = 0;
    std::uint32_t m_nLastBlockSize = 0;
    std::uint32_t m_nLastChunkNum = 0;
    std::uint32_t m_nTailSize = 0;
    std::uint32_t m_nChunkNum = 0;
    std::uint32_t m_nChunkLeft = 0;
    std::string m_strLogFold;

private:
    friend int CompareThreadProc(CMyMakeFile* pMakeFile);

    void PostToMain(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    bool ReportDifference(BYTE bDataA, BYTE bDataB);
    void AbandonAtLogWrite(int nErrno);
    bool InputsUnchanged();
    void FinishSearch();
    bool CloseLog();
    void ShowSummary();
    void ResetBlockPlan();

    platform::FileIdentity m_idFileA;
    platform::FileIdentity m_idFileB;
    std::atomic<RunOutcome> m_outcome{RunOutcome::kNone}; // written by the worker only
    std::atomic<bool> m_bDBSaved{false};                    // written by the worker only
    // Two blocks of each file, m_pBufA and m_pBufB point into them; they outlive the reader.
    platform::CAlignedBuffer m_bufPairA;
    platform::CAlignedBuffer m_bufPairB;
    int m_nChangedFiles = 0; // the worker's until it has ended, as m_outcome
    int m_nLogErrno = 0;
    CMyBlockReader m_reader;
    CMyRemoteReader m_remoteReader;
    CMyBlockSource* m_pSource = &m_reader; // the reader of the run
    std::unique_ptr<remote::RemoteFile> m_apRemote[2]; // FILE A and FILE B when remote
    std::string m_astrRemoteFailure[2];
    std::uint64_t m_nRemoteBytes = 0;

    bool OpenCompared(int nFile, int* pnHandle, platform::FileIdentity* pId);
    void CloseRemote();
    // A file's identity for the checks against local files; none for a remote file.
    platform::FileIdentity LocalIdentity(int nFile) const;
};

// The worker thread's procedure; returns 0, or 1 when the run was abandoned through m_bAbort (a
// full disk included, which still ends as a stopped run does, for the window that stays).
int CompareThreadProc(CMyMakeFile* pMakeFile);
