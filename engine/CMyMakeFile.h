#pragma once
// The comparison engine: one run of FILE A against FILE B on the worker thread, writing the result
// log, feeding the difference store and reporting to the main window.
#include "engine/CMyBlockReader.h"
#include "engine/CMyDiffMap.h"
#include "engine/CMyLogSpace.h"
#include "engine/CMyRangeTracker.h"
#include "engine/CMyRemoteReader.h"
#include "engine/RemoteSource.h"
#include "platform/AlignedBuffer.h"
#include "platform/FileHandle.h"
#include "ui/Control.h"
#include "platform/LowFile.h"
#include "platform/TextFile.h"
#include "ui/Ui.h"
#include "platform/WinTypes.h"
#include "ui/ThreadFlag.h"
#include "engine/FileData.h"
#include "engine/RunResult.h"

#include <atomic>
#include <memory>
#include <cstdint>
#include <string>
#include <string_view>

class CMyDiffDataBase;

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
    // Configuring (and EndSearch's clean-up) happens while no worker exists: the thread's start
    // and end order those writes with the worker's, so they are no second writer of the flags.
    void Configure(const RunSetup& setup);
    // The last run, once its worker has ended (and before the next Configure).
    RunResult Result() const;
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
    // Where the differences of the run under way, or of the last one, lie; any thread.
    const CMyDiffMap& DiffMap() const { return m_diffMap; }
    // Who takes the ranges of differing bytes of every later run, on the worker's thread; nullptr
    // (as built): none are gathered. Set while no run is under way.
    void SetRangeSink(CMyRangeSink* pSink) { m_pRangeSink = pSink; }
    // The ranges the last run handed on; once it has ended.
    std::int64_t RangeCount() const { return m_ranges.Count(); }
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
    // Whether FILE A, FILE B or the log is open: between the opening and the end of a run only.
    bool AnyFileOpen() const;
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
    // The window is closing: the worker leaves at once, leaving the files to the window's
    // clean-up. Written by the UI thread only.
    alignas(64) ui::CPolledFlag<BOOL> m_bAbort{FALSE};
    ui::CPolledFlag<BOOL> m_bDisplayDiff{FALSE}; // written by the UI thread only
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
    CMyRangeSink* m_pRangeSink = nullptr;
    CMyDiffMap m_diffMap; // its worker's part first

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

    // Flags shared by the two threads, each with its one writer while a worker runs.
    // The run has reached its end (completed, refused or failed): the worker's loop is left.
    // Written by the worker only.
    ui::CPolledFlag<BOOL> m_bFinish{FALSE};
    // A run is configured and its end has not been handled yet. Written by the UI thread only:
    // set by Configure, cleared by the window when the worker's end arrives (or it would not
    // start).
    ui::CPolledFlag<BOOL> m_bRunning{FALSE};
    BOOL m_bStarted = FALSE; // the worker's: the files are open and the block plan made

    // The run.
    platform::CFileHandle m_fileA;
    platform::CFileHandle m_fileB;
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

    // Whether the loop goes on: no stop asked, no end reached, no abandonment. Worker.
    bool Continuing() const { return !m_bFinish && !m_bStop; }
    bool Abandoning() const { return m_bAbort || m_bGiveUp; }

    // The stop button or a stop signal: the run ends after the unit of work under way. Written
    // by the UI thread only (StopSearch), so that no end the worker records can reset it.
    ui::CPolledFlag<BOOL> m_bStop{FALSE};
    // The worker abandons the run itself, at a line the log would not take; the window stays.
    // The worker's own.
    BOOL m_bGiveUp = FALSE;
    platform::FileIdentity m_idFileA;
    platform::FileIdentity m_idFileB;
    std::atomic<RunOutcome> m_outcome{RunOutcome::kNone}; // written by the worker only
    std::atomic<bool> m_bDBSaved{false};                    // written by the worker only
    // Two blocks of each file, m_pBufA and m_pBufB point into them; they outlive the reader.
    platform::CAlignedBuffer m_bufPairA;
    platform::CAlignedBuffer m_bufPairB;
    int m_nChangedFiles = 0; // the worker's until it has ended, as m_outcome
    int m_nLogErrno = 0;
    int m_nOpenFailed = -1; // the worker's until it has ended, as m_outcome
    int m_nOpenErrno = 0;
    CMyBlockReader m_reader;
    CMyRangeTracker m_ranges;
    CMyRemoteReader m_remoteReader;
    CMyBlockSource* m_pSource = &m_reader; // the reader of the run
    std::unique_ptr<remote::RemoteFile> m_apRemote[2]; // FILE A and FILE B when remote
    std::string m_astrRemoteFailure[2];
    std::uint64_t m_nRemoteBytes = 0;

    bool OpenCompared(int nFile, platform::CFileHandle* pFile, platform::FileIdentity* pId);
    void CloseRemote();
    // A file's identity for the checks against local files; none for a remote file.
    platform::FileIdentity LocalIdentity(int nFile) const;
};

// The worker thread's procedure; returns 0, or 1 when the run was abandoned: through m_bAbort, or
// at a line the log would not take (which still ends as a stopped run does, for the window that
// stays).
int CompareThreadProc(CMyMakeFile* pMakeFile);
