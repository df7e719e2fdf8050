#include "engine/CMyMakeFile.h"

#include "diffdb/CMyDiffDataBase.h"
#include "engine/CMyOverwriteDlg.h"
#include "engine/RunTexts.h"
#include "platform/AlignedBuffer.h"
#include "platform/Clock.h"
#include "platform/Faults.h"
#include "platform/FileLock.h"
#include "platform/FileChange.h"
#include "platform/FileStatus.h"
#include "platform/Format.h"
#include "util/FileErrorText.h"
#include "util/Messages.h"
#include "util/PathUtil.h"
#include "util/ProgramFolds.h"
#include "util/SizeText.h"
#include "util/RemoteName.h"
#include "util/Trace.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::size_t kMaxPath = PATH_MAX - 1; // 4095 bytes
// The abort request is looked at no less often than once per this many bytes compared.
constexpr std::uint32_t kAbortSlice = 0x10000;
// What a hole reads as, for comparing one file's data with the other file's hole.
constexpr BYTE kZeros[kAbortSlice] = {};

const std::string kStars(50, '*');
const std::string kDashes(50, '-');

// Index of the first byte where the two spans differ, or `n` when they are equal. Where files
// differ, they often differ again a few bytes on: the first vectors are looked at directly. The C
// library's memcmp then settles the common case of equal spans with its widest vector loads; only
// a span known to differ is scanned for the position.
std::uint32_t FirstDifference(const BYTE* a, const BYTE* b, std::uint32_t n) {
    std::uint32_t i = 0;
#if defined(__SSE2__)
    auto differs = [&](std::uint32_t at, std::uint32_t* pos) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + at));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + at));
        const auto equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(va, vb)));
        *pos = at + static_cast<std::uint32_t>(__builtin_ctz(~equal | 0x10000u));
        return equal != 0xFFFFu;
    };
    std::uint32_t pos = 0;
    for (const std::uint32_t near = std::min<std::uint32_t>(n & ~15u, 64); i < near; i += 16)
        if (differs(i, &pos))
            return pos;
#endif
    if (std::memcmp(a + i, b + i, n - i) == 0)
        return n;
#if defined(__SSE2__)
    for (; i + 16 <= n; i += 16)
        if (differs(i, &pos))
            return pos;
#endif
    for (; i < n; ++i)
        if (a[i] != b[i])
            return i;
    return n;
}

// A work area for a path. Its failure is reported by the callers, as a full memory would be.
bool ReserveWorkArea(std::string& area) {
    if (!platform::MayAllocate(kMaxPath + 1))
        return false;
    try {
        area.reserve(kMaxPath + 1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// A file's pair of block buffers: the block compared and the block read ahead.
bool AllocateBuffer(platform::CAlignedBuffer* pBuf) {
    return platform::MayAllocate(CMyMakeFile::kBlockSize) &&
           pBuf->Allocate(2 * std::size_t{CMyMakeFile::kBlockSize}, true);
}

} // namespace

CMyMakeFile::CMyMakeFile() {
    if (!AllocateBuffer(&m_bufPairA)) {
        ui::ShowBox("バッファAが確保できません");
        std::_Exit(EXIT_FAILURE);
    }
    if (!AllocateBuffer(&m_bufPairB)) {
        m_bufPairA.Release();
        ui::ShowBox("バッファBが確保できません");
        std::_Exit(EXIT_FAILURE);
    }
    m_pBufA = m_bufPairA.Data();
    m_pBufB = m_bufPairB.Data();
    m_reader.SetBuffers(m_pBufA, m_pBufB, kBlockSize);
    m_remoteReader.SetBuffers(m_pBufA, m_pBufB, kBlockSize);
    m_nBufPos = 0;
    m_bRunning = FALSE;
    m_bFinish = FALSE;
    m_bStarted = FALSE;
    m_bAbort = FALSE;
    m_hWndMain = nullptr;
    ResetFileData();
    m_bUseDB = FALSE;
    m_pDiffDataBase = nullptr;
}

CMyMakeFile::~CMyMakeFile() {
    CloseAllFile(); // ends the reading threads before the buffers go
    m_pBufA = nullptr;
    m_pBufB = nullptr;
}

// --- configuration ---

void CMyMakeFile::SetPorgCtrl(const ui::CControl* pProgCtrl) {
    if (pProgCtrl == nullptr) {
        ui::ShowBox("※ 引数が無効。CMyMakeFIle::SetPorgCtrl");
        return;
    }
    m_pProgCtrl = pProgCtrl;
}

void CMyMakeFile::SetBtnExe(const ui::CControl* pBtn) {
    if (pBtn == nullptr) {
        ui::ShowBox("※　引数が無効。CMyMakeFile::SetBtnExe()");
        return;
    }
    m_pBtnExe = pBtn;
}

void CMyMakeFile::SetBtnStop(const ui::CControl* pBtn) {
    if (pBtn == nullptr) {
        ui::ShowBox("※　引数が無効。CMyMakeFile::SetBtnStop()");
        return;
    }
    m_pBtnStop = pBtn;
}

void CMyMakeFile::SetFileDataEx(const FILEDATA* pFileData) {
    if (pFileData == nullptr) {
        ui::ShowBox("※　引数が無効です。CMyMakeFile::SetFileDataEx()");
        return;
    }
    m_strFileA = pFileData->strFileA;
    m_strFileB = pFileData->strFileB;
    m_strLogFile = pFileData->strLogFile;
    m_nSizeMode = pFileData->nSizeMode;
    m_i64SizeA = pFileData->i64SizeA;
    m_i64SizeB = pFileData->i64SizeB;
    m_i64SearchSize = pFileData->i64SearchSize;
    m_i64OffsetB = pFileData->i64OffsetB;
}

BOOL CMyMakeFile::SetUseDBFile(BOOL bUse) {
    if (!bUse) {
        m_bUseDB = FALSE;
        return TRUE;
    }
    if (m_pDiffDataBase == nullptr) {
        WriteTrace(platform::Format("※データベースのインスタンスが登録されていません。"
                                    "CMyMakeFile::SetUseDBFile()\n\tbUse[%d]\n",
                                    bUse));
        return FALSE;
    }
    m_bUseDB = TRUE;
    return TRUE;
}

BOOL CMyMakeFile::SetDiffDataBaseADRS(CMyDiffDataBase* pDiffDataBase) {
    if (m_bFinish) {
        WriteTrace("※実行中には登録できません。CMyMakeFIle::SetDiffDataBaseADRS()\n");
        return FALSE;
    }
    if (pDiffDataBase == nullptr) {
        WriteTrace("※引数が無効です。CMyMakeFIle::SetDiffDataBaseADRS()\n");
        return FALSE;
    }
    m_pDiffDataBase = pDiffDataBase;
    return TRUE;
}

BOOL CMyMakeFile::SetDiffDBFileName(const char* pFileName) {
    if (pFileName == nullptr) {
        WriteTrace("※引数が無効。CMyMakeFile::SetDiffDBFileName()\n");
        return FALSE;
    }
    if (m_pDiffDataBase == nullptr || !m_pDiffDataBase->SetFileName(pFileName))
        return FALSE;
    m_strDBFileName = pFileName;
    return TRUE;
}

void CMyMakeFile::ResetFileData() {
    m_strFileA.clear();
    m_strFileB.clear();
    m_strLogFile.clear();
    m_i64SizeA = 0;
    m_i64SizeB = 0;
    m_i64SearchSize = 0;
    m_i64OffsetB = 0;
    m_i64DiffCount = 0;
    m_i64BlockLeft = 0;
    m_pDiffDataBase = nullptr;
    m_nSizeMode = SIZE_NOT_SET;
    m_idFileA = {};
    m_idFileB = {};
}

void CMyMakeFile::ResetSearchState() {
    m_i64Adrs = 0;
    m_nBufPos = 0;
    m_bFinish = FALSE;
    m_bStarted = FALSE;
    m_bRunning = FALSE;
    m_bAbort = FALSE;
    m_bStop = FALSE;
    m_bGiveUp = FALSE;
    m_pDiffDataBase = nullptr;
    m_outcome = RunOutcome::kNone;
    m_bDBSaved = false;
    m_nChangedFiles = 0;
    m_nLogErrno = 0;
}

RunResult CMyMakeFile::Result() const {
    RunResult r;
    r.m_outcome = m_outcome;
    r.m_i64DiffCount = m_i64DiffCount;
    r.m_i64SizeA = m_i64SizeA;
    r.m_i64SizeB = m_i64SizeB;
    r.m_i64SearchSize = m_i64SearchSize;
    r.m_i64Compared = m_i64Adrs;
    r.m_bDBSaved = m_bDBSaved;
    r.m_strDBFileName = m_strDBFileName;
    r.m_nChangedFiles = m_nChangedFiles;
    r.m_nLogErrno = m_nLogErrno;
    r.m_idFileA = m_idFileA;
    r.m_idFileB = m_idFileB;
    r.m_nOpenFailed = m_nOpenFailed;
    r.m_nOpenErrno = m_nOpenErrno;
    r.m_bFilesOpen = AnyFileOpen();
    return r;
}

void CMyMakeFile::StopSearch() { m_bStop = TRUE; }

void CMyMakeFile::Configure(const RunSetup& setup) {
    ResetFileData();
    SetFileDataEx(setup.m_pFileData);
    SetPorgCtrl(setup.m_pProgCtrl);
    SetBtnExe(setup.m_pBtnExe);
    SetBtnStop(setup.m_pBtnStop);
    ResetSearchState();
    m_bDisplayDiff = setup.m_bDisplayDiff;
    m_bBrief = setup.m_bBrief;
    m_remote = setup.m_remote;
    m_astrRemoteFailure[0].clear();
    m_astrRemoteFailure[1].clear();
    m_nRemoteBytes = 0;
    m_bAbort = FALSE;
    if (setup.m_pDiffDataBase != nullptr) {
        SetDiffDataBaseADRS(setup.m_pDiffDataBase);
        SetUseDBFile(TRUE);
        SetDiffDBFileName(setup.m_strDBFileName.c_str());
    } else {
        SetUseDBFile(FALSE);
    }
    m_bRunning = TRUE;
}

void CMyMakeFile::PostToMain(UINT message, WPARAM wParam, LPARAM lParam) {
    ui::Ui().PostMessage(m_hWndMain, message, wParam, lParam);
}

// --- the run ---

int CompareThreadProc(CMyMakeFile* pMakeFile) {
    bool bDiskFull = false;
    while (pMakeFile->Continuing()) {
        // A line the log refused has recorded its ending and leaves the window open: it must
        // get its controls back.
        if (pMakeFile->m_bGiveUp) {
            bDiskFull = true;
            break;
        }
        if (pMakeFile->m_bAbort) {
            pMakeFile->m_outcome = RunOutcome::kAbandoned;
            return 1; // the window is closing: its destruction cleans up (EndSearch)
        }
        pMakeFile->ExecStep();
    }
    // Every other ending has recorded itself: the loop was left at a stop request.
    RunOutcome none = RunOutcome::kNone;
    pMakeFile->m_outcome.compare_exchange_strong(none, RunOutcome::kStopped);
    pMakeFile->EndSearch();
    ui::Ui().PostMessage(ui::Ui().MainWindow(), WM_THREAD_END, 0, 0);
    return bDiskFull ? 1 : 0;
}

BOOL CMyMakeFile::ExecStep() {
    if (!m_bStarted) {
        SetSearchSize();
        m_diffMap.Reset(m_i64SearchSize);
        m_ranges.Reset(m_pRangeSink);
        // Files of different sizes differ, as cmp -s says without reading them.
        if (m_bBrief && m_i64SizeA != m_i64SizeB) {
            ResetBlockPlan();
            m_outcome = RunOutcome::kCompleted;
            PostToMain(WM_ENABLE_CTRLS);
            return TRUE;
        }
        if (!AllFileOpen()) {
            if (m_outcome == RunOutcome::kNone) // the overwrite question records its No
                m_outcome = RunOutcome::kOpenFailed;
            m_bStarted = FALSE;
            m_bFinish = TRUE;
            return TRUE;
        }
        PostToMain(WM_DISABLE_CTRLS);
        m_i64DiffCount = 0;
        m_i64Adrs = 0;
        m_nBufPos = 0;
        // A stop pressed while the files were being opened (or the overwrite question waited)
        // still stops the run, after its first unit: no one but the window writes m_bStop.
        m_bStarted = TRUE;

        // One block more than the whole blocks: the last read is always the partial block, even
        // when it is empty.
        m_i64BlockLeft = m_i64SearchSize / kBlockSize + 1;
        m_nLastBlockSize = static_cast<std::uint32_t>(m_i64SearchSize % kBlockSize);
        m_nChunkNum = kChunksPerBlock;
        m_nChunkLeft = kChunksPerBlock;
        m_nLastChunkNum = m_nLastBlockSize / kChunkSize;
        m_nTailSize = m_nLastBlockSize % kChunkSize;
        // The plan covers the compared length exactly: whole blocks, then the last block's whole
        // chunks and its tail.
        static_assert(kChunkSize * kChunksPerBlock == kBlockSize);
        assert(m_i64BlockLeft >= 1 && m_nLastChunkNum < kChunksPerBlock);
        assert((m_i64BlockLeft - 1) * kBlockSize + m_nLastChunkNum * kChunkSize + m_nTailSize ==
               m_i64SearchSize);
        m_logSpace.Reset();
        if (m_apRemote[0] || m_apRemote[1]) {
            m_pSource = &m_remoteReader;
            m_remoteReader.Start(m_fileA.Get(), m_apRemote[0].get(), m_fileB.Get(),
                                 m_apRemote[1].get(), m_i64SearchSize);
        } else {
            m_pSource = &m_reader;
            m_reader.Start(m_fileA.Get(), m_fileB.Get(), m_i64SizeA, m_i64SizeB);
        }

        ReadBlockData();
        // A first read that failed has closed the files; there is nothing to compare or log. (A
        // stop already requested is not such a failure: the run goes on to its first unit.)
        if (m_outcome == RunOutcome::kReadFailed)
            return TRUE;
        if (!m_bBrief)
            WriteLogHeader();
        std::string strFile;
        SplitFileAndFold(m_strLogFile.c_str(), &strFile, &m_strLogFold);
    }
    SearchNext();
    return m_bFinish;
}

void CMyMakeFile::SearchNext() {
    if (Abandoning())
        return;
    if (m_nChunkLeft > 0) {
        CompareData(kChunkSize);
        --m_nChunkLeft;
        return;
    }
    if (m_i64BlockLeft != 0) {
        ReadBlockData();
        return;
    }
    FinishSearch();
}

void CMyMakeFile::CompareData(std::uint32_t nCount) {
    const std::uint32_t end = m_nBufPos + nCount;
    // A unit lies within the block taken, whose start is a multiple of the block size.
    assert(end <= kBlockSize && m_i64Adrs % kBlockSize == m_nBufPos % kBlockSize);
    while (m_nBufPos < end) {
        if (Abandoning())
            return;
        const CMyBlockSource::Run& run = m_pSource->RunAt(m_nBufPos);
        std::uint32_t n = std::min(end, run.m_nEnd) - m_nBufPos;
        if (run.m_kind == CMyBlockReader::kNeither) { // a hole in both files: equal unseen
            m_nBufPos += n;
            m_i64Adrs += n;
            continue;
        }
        n = std::min(n, kAbortSlice);
        const BYTE* a = run.m_kind == CMyBlockReader::kOnlyB ? kZeros : m_pBufA + m_nBufPos;
        const BYTE* b = run.m_kind == CMyBlockReader::kOnlyA ? kZeros : m_pBufB + m_nBufPos;
        const std::uint32_t same = FirstDifference(a, b, n);
        m_nBufPos += same;
        m_i64Adrs += same;
        if (same == n)
            continue;
        if (Abandoning())
            return;
        if (!ReportDifference(a[same], b[same]))
            return;
        ++m_nBufPos;
        ++m_i64Adrs;
    }
    assert(m_nBufPos == end && m_i64Adrs <= m_i64SearchSize);
    // Each difference is one byte compared.
    assert(m_i64DiffCount <= m_i64Adrs);
    // An empty comparison is complete: nothing is left to compare.
    const int pos = m_i64SearchSize > 0
                        ? static_cast<int>(static_cast<double>(m_i64Adrs) * 100.0 /
                                           static_cast<double>(m_i64SearchSize))
                        : 100;
    if (m_pProgCtrl != nullptr)
        m_pProgCtrl->SetPos(pos);
}

void CMyMakeFile::ReadBlockData() {
    const bool full = m_i64BlockLeft > 1;
    const std::uint32_t size = full ? kBlockSize : m_nLastBlockSize;
    m_pSource->Compared(m_i64Adrs, false);
    // The first block of a run is asked for here; each later one when the block before it was
    // taken, so that it is read while that block is compared.
    if (!m_pSource->IsReadingAhead())
        m_pSource->ReadAhead(size);
    std::int64_t readA = 0, readB = 0;
    // An abort gives up the wait, as it gives up everything else: its loop ends the worker at
    // once. A stop request waits for a block read here, as it waits for any unit of work, but not
    // for one from another machine, whose server may have stopped answering.
    const bool remote = m_pSource == &m_remoteReader;
    if (!m_pSource->TakeBlock(&readA, &readB,
                              [this, remote] { return m_bAbort != FALSE || (remote && m_bStop != FALSE); }))
        return;
    // Fewer bytes than planned means the file shrank since it was measured: comparing the rest
    // of the buffer would report bytes of the previous block.
    const bool failA = readA != static_cast<std::int64_t>(size);
    const bool failB = readB != static_cast<std::int64_t>(size);
    if (!failA && !failB) {
        m_pBufA = m_pSource->BlockA();
        m_pBufB = m_pSource->BlockB();
        m_nChunkLeft = full ? m_nChunkNum : m_nLastChunkNum;
        --m_i64BlockLeft;
        m_nBufPos = 0;
        assert(m_i64BlockLeft >= 0 && m_nChunkLeft <= kChunksPerBlock);
        // Every block before this one has been compared whole.
        assert(m_i64Adrs % kBlockSize == 0);
        if (m_i64BlockLeft > 0)
            m_pSource->ReadAhead(m_i64BlockLeft > 1 ? kBlockSize : m_nLastBlockSize);
        return;
    }
    // A connection lost says so in its own words, naming the host, before the failed read.
    if (m_pSource == &m_remoteReader && !m_remoteReader.FailureText().empty()) {
        m_astrRemoteFailure[failA ? 0 : 1] = m_remoteReader.FailureText();
        ui::ShowBox(m_remoteReader.FailureText());
    }
    ui::ShowBox(failA ? "※ファイルAの読みとりに失敗" : "※ファイルBの読みとりに失敗");
    m_outcome = RunOutcome::kReadFailed;
    CloseAllFile();
    m_bFinish = TRUE;
}

void CMyMakeFile::SetSearchSize() {
    const std::int64_t size = std::min(m_i64SizeA, m_i64SizeB);
    if (m_i64SizeA != m_i64SizeB)
        WriteTrace(SizesDifferText(size));
    m_i64SearchSize = size;
}

BOOL CMyMakeFile::AllFileOpen() {
    m_nOpenFailed = -1;
    m_nOpenErrno = 0;
    std::string work;
    if (!ReserveWorkArea(work)) {
        ui::ShowBox("※メモリー確保失敗。AllFileOpen()\n");
        return FALSE;
    }
    m_idFileA = {};
    m_idFileB = {};

    work = m_strFileA;
    if (!OpenCompared(0, &m_fileA, &m_idFileA)) {
        m_nOpenFailed = 0;
        ui::ShowBox(
            platform::Format("※ファイルAのオープンに失敗。AllFileOpen()\n\t[ %s ]\n", work.c_str()));
        return FALSE;
    }
    m_i64OffsetB = 0;

    work = m_strFileB;
    if (!OpenCompared(1, &m_fileB, &m_idFileB)) {
        m_nOpenFailed = 1;
        ui::ShowBox(
            platform::Format("※ファイルBのオープンに失敗。AllFileOpen()\n\t[ %s ]\n", work.c_str()));
        m_fileA.Close();
        CloseRemote();
        return FALSE;
    }

    platform::FileError error;
    if (m_bBrief)
        return TRUE; // no log to open
    if (OpenLogFile(&m_fileLog, &error))
        return TRUE;
    m_nOpenFailed = 2;
    m_nOpenErrno = error.m_nOsError;
    std::string text;
    if (GetFileErrorText(&text, &error) == 0)
        ui::ShowBox(text + platform::Format("\nログファイル[ %s ]", m_strLogFile.c_str()));
    m_fileA.Close();
    m_fileB.Close();
    CloseRemote();
    return FALSE;
}

// FILE A (0) or FILE B (1), here or on its host. A remote file has no handle here (-1).
bool CMyMakeFile::OpenCompared(int nFile, platform::CFileHandle* pFile,
                               platform::FileIdentity* pId) {
    const std::string& strName = nFile == 0 ? m_strFileA : m_strFileB;
    m_apRemote[nFile].reset();
    if (!IsRemoteName(strName)) {
        *pFile = platform::CFileHandle::Open(strName, platform::kOpenRead | platform::kOpenCompared);
        if (!pFile->IsOpen()) {
            m_nOpenErrno = platform::LastError();
            return false;
        }
        *pId = platform::IdentityOfHandle(pFile->Get());
        return true;
    }
    RemoteOpenFailure failure;
    m_apRemote[nFile] = OpenRemoteFile(strName, m_remote, remote::RemoteFile::kOpenRead, &failure);
    if (!m_apRemote[nFile]) {
        m_astrRemoteFailure[nFile] = failure.m_strWhy;
        m_nOpenErrno = failure.m_bRefused ? failure.m_refusal.m_nErrno : 0;
        return false;
    }
    *pId = m_apRemote[nFile]->Identity();
    return true;
}

platform::FileIdentity CMyMakeFile::LocalIdentity(int nFile) const {
    if (IsRemoteName(nFile == 0 ? m_strFileA : m_strFileB))
        return {}; // a device and inode of another machine
    return nFile == 0 ? m_idFileA : m_idFileB;
}

// Ends the connections: each waits for its rsh to exit.
void CMyMakeFile::CloseRemote() {
    for (auto& pRemote : m_apRemote) {
        if (!pRemote)
            continue;
        m_nRemoteBytes += pRemote->BytesSent() + pRemote->BytesReceived();
        pRemote->Close();
        pRemote.reset();
    }
}

void CMyMakeFile::CloseAllFile() {
    m_reader.Stop(); // no read may be under way on a handle that is closed
    m_remoteReader.Stop();
    CloseRemote();
    m_fileA.Close();
    m_fileB.Close();
    m_fileLog.Close();
    m_logSpace.Stop();
}

bool CMyMakeFile::AnyFileOpen() const {
    return m_fileA.IsOpen() || m_fileB.IsOpen() || m_fileLog.IsOpen();
}

void CMyMakeFile::EndSearch() {
    CloseAllFile();
    m_ranges.Flush(); // a run that stopped keeps the ranges found so far, as its log does
    if (m_pDiffDataBase != nullptr)
        m_pDiffDataBase->TraceRefusedRest();
    if (m_pBtnExe != nullptr)
        m_pBtnExe->EnableWindow(TRUE);
    if (m_pBtnStop != nullptr)
        m_pBtnStop->EnableWindow(FALSE);
    ResetBlockPlan();
}

// No run under way: nothing left to read or compare.
void CMyMakeFile::ResetBlockPlan() {
    m_nChunkLeft = 0;
    m_nChunkNum = 0;
    m_nLastBlockSize = 0;
    m_nTailSize = 0;
    m_bStarted = FALSE;
    m_bFinish = TRUE;
}

// One differing byte at m_nBufPos: check the log's disk, write the line, count, show, store.
// False when the run has to be abandoned (the difference is then neither written nor counted).
bool CMyMakeFile::ReportDifference(BYTE bDataA, BYTE bDataB) {
    if (m_bBrief) {
        // The first difference is the whole answer; whatever follows is not read.
        ++m_i64DiffCount;
        CloseAllFile();
        ResetBlockPlan();
        m_outcome = RunOutcome::kCompleted;
        PostToMain(WM_ENABLE_CTRLS);
        return false;
    }
    char line[kLineRoom]; // on the stack: a line touches no memory of its own
    const std::string_view text = FormatDiffLine(line, m_i64Adrs, bDataA, bDataB);
    const std::int64_t free =
        m_logSpace.FreeBytes(m_fileLog.Handle(), m_strLogFold, m_fileLog.BytesWritten(), kDiskReserve);
    CMyDiffDataBase* const store = m_bUseDB ? m_pDiffDataBase : nullptr;
    const bool roomy = free >= kDiskReserve;
    platform::FileError error;
    const bool written = roomy && m_fileLog.WriteBytes(text, &error);
    // The write leaves the processor to fetch anew whatever it touches next: the lines of this
    // object and of the store are asked for at once, not one after the other as they are reached.
    __builtin_prefetch(&m_bAbort);
    __builtin_prefetch(&m_logSpace);
    __builtin_prefetch(&m_diffMap);
    if (store != nullptr) {
        __builtin_prefetch(store->HotLines());
        __builtin_prefetch(store->HotLines() + 64);
    }
    if (!written || !m_fileLog.Flush()) {
        AbandonAtLogWrite(!roomy ? ENOSPC : error.m_nOsError != 0 ? error.m_nOsError : EBADF);
        return false;
    }
    ++m_i64DiffCount;
    m_diffMap.Add(m_i64Adrs);
    if (m_pRangeSink != nullptr)
        m_ranges.Add(m_i64Adrs, bDataA, bDataB);
    if (m_bDisplayDiff) {
        std::int32_t high = 0;
        std::uint32_t low = SplitInt64(m_i64Adrs, &high);
        PostToMain(WM_DIFF_ADRS, low, high);
        PostToMain(WM_DIFF_DATA, bDataA, bDataB);
        low = SplitInt64(m_i64DiffCount, &high);
        PostToMain(WM_DIFF_COUNT, low, high);
    }
    if (store != nullptr)
        store->AddDiffData(m_i64Adrs, bDataA, bDataB); // a refused item is still logged
    return true;
}

// A line the log did not take ends the run as the disk reserve does: the log must not lose it
// silently. Only a full disk is called one; any other failure is named.
void CMyMakeFile::AbandonAtLogWrite(int nErrno) {
    if (nErrno == ENOSPC || nErrno == EDQUOT) {
        ui::ShowBox(DiskFullText(m_strLogFile));
        m_outcome = RunOutcome::kDiskReserve;
    } else {
        ui::ShowBox(platform::Format("※ログファイルへの書き込みに失敗。%s\n\n",
                                           FileErrorCauseText(platform::CauseFromErrno(nErrno))) +
                          UnfinishedLogText(m_strLogFile));
        m_nLogErrno = nErrno;
        m_outcome = RunOutcome::kLogWriteFailed;
    }
    m_bGiveUp = TRUE;
}

// Bytes compared from a file that was written, resized or replaced meanwhile are no result: the
// run ends as one whose read came short (no closing lines, no summary, no database to repair
// from). A file written in place counts as changed, as its modification time tells.
bool CMyMakeFile::InputsUnchanged() {
    const struct {
        const platform::CFileHandle& m_file;
        const std::string& m_strPath;
        const platform::FileIdentity& m_id;
        const char* m_pName;
    } files[] = {{m_fileA, m_strFileA, m_idFileA, "A"}, {m_fileB, m_strFileB, m_idFileB, "B"}};
    int changed = 0;
    for (int n = 0; n < 2; ++n) {
        if (m_apRemote[n]) {
            // The server looks at its file, by its handle and by its path.
            platform::FileIdentity idNow;
            bool bUnchanged = false;
            if (m_apRemote[n]->Stat(&idNow, &bUnchanged) && bUnchanged)
                continue;
            if (!m_apRemote[n]->Connected())
                ui::ShowBox(m_apRemote[n]->ErrorText());
        } else if (platform::FileUnchangedSinceOpen(files[n].m_file.Get(), files[n].m_strPath,
                                                    files[n].m_id)) {
            continue;
        }
        changed |= 1 << n;
        ui::ShowBox(platform::Format(
            "※比較中にファイル%sが変更されました。比較結果は正しくありません。\n\t[ %s ]\n",
            files[n].m_pName, files[n].m_strPath.c_str()));
    }
    if (changed == 0)
        return true;
    m_nChangedFiles = changed;
    RunOutcome none = RunOutcome::kNone; // a tail cut short by the disk reserve keeps its ending
    m_outcome.compare_exchange_strong(none, RunOutcome::kFileChanged);
    CloseAllFile();
    m_bFinish = TRUE;
    return false;
}

// The run has compared its last whole chunk: the tail, the closing lines, the summary and the
// database.
void CMyMakeFile::FinishSearch() {
    CompareData(m_nTailSize);
    // A full disk in the tail ends the run as it does anywhere else: closing lines under a log
    // that lacks differences, and a summary and a database of part of them, would pass for whole.
    // A brief run that found its difference has its answer.
    if (Abandoning() || m_outcome != RunOutcome::kNone)
        return;
    assert(m_i64Adrs == m_i64SearchSize && m_i64DiffCount <= m_i64SearchSize);
    m_pSource->Compared(m_i64Adrs, true);
    if (!InputsUnchanged())
        return;
    if (m_bBrief) {
        CloseAllFile();
        ResetBlockPlan();
        m_outcome = RunOutcome::kCompleted;
        PostToMain(WM_HIDE_REPAIR_BTN);
        PostToMain(WM_ENABLE_CTRLS);
        return;
    }
    const bool logDone = CloseLog();
    CloseAllFile();
    ResetBlockPlan();
    if (m_outcome == RunOutcome::kNone)
        m_outcome = logDone ? RunOutcome::kCompleted : RunOutcome::kLogUnfinished;

    m_ranges.Flush(); // the last range before the summary
    ShowSummary();
    if (m_bUseDB)
        SaveDBFileData();
    else
        PostToMain(WM_HIDE_REPAIR_BTN);
    PostToMain(WM_ENABLE_CTRLS);
    if (m_i64DiffCount == 0)
        PostToMain(WM_HIDE_REPAIR_BTN);
}

// The closing lines and the close: a log without them is not a whole result, and whoever reads
// it later cannot tell, so the user is told now.
bool CMyMakeFile::CloseLog() {
    bool done = WriteLogFooter() != FALSE;
    if (m_fileLog.IsOpen())
        done = m_fileLog.Close() && done;
    if (!done)
        ui::ShowBox(platform::Format(
            "※ログファイルの終わりを書き込めませんでした。\n\t[ %s ]\n", m_strLogFile.c_str()));
    return done;
}

void CMyMakeFile::ShowSummary() {
    // Files of different sizes are not the same: a warning, not an all-clear.
    ui::ShowBox(SummaryText(m_i64DiffCount, m_i64SizeA, m_i64SizeB, m_i64SearchSize),
                      m_i64SizeA != m_i64SizeB ? ui::BoxIcon::Exclamation
                                               : ui::BoxIcon::Information);
}

void CMyMakeFile::SaveDBFileData() {
    const std::int64_t diffNum = m_pDiffDataBase != nullptr ? m_pDiffDataBase->GetDiffNum() : 0;
    const std::int64_t expect = diffNum * 10 + 8;
    if (m_i64DiffCount == 0) {
        const std::string text =
            "○不一致データがないのでデータベースファイルは作成しません。\n";
        TraceAndShow(text);
        PostToMain(WM_HIDE_REPAIR_BTN);
        return;
    }
    // The space that counts is that of the folder the database goes into.
    std::string file, fold;
    SplitFileAndFold(m_strDBFileName.c_str(), &file, &fold);
    const auto free =
        static_cast<std::int64_t>(CheckFoldFreeSize(fold.empty() ? "/" : fold.c_str()));
    if (free > expect) {
        // The database is never written over one of the files it describes.
        const platform::FileIdentity idDB = platform::IdentityOfPath(m_strDBFileName);
        const bool overInput = idDB.SameAs(LocalIdentity(0)) || idDB.SameAs(LocalIdentity(1));
        const bool saved = m_pDiffDataBase != nullptr && !overInput &&
                           OwnFileUsable(m_strDBFileName) &&
                           m_pDiffDataBase->SaveDBFileData(m_strDBFileName.c_str());
        m_bDBSaved = saved;
        PostToMain(saved ? WM_SHOW_REPAIR_BTN : WM_HIDE_REPAIR_BTN);
        std::string text = saved ? "◎不一致情報データベースを作成しました。\n"
                                 : "※不一致情報データベースの作成に失敗しました。\n";
        // The store's limit: a repair from it leaves the rest of the differences.
        if (saved && diffNum < m_i64DiffCount)
            text += DataBasePartText(m_i64DiffCount, diffNum);
        TraceAndShow(text);
        return;
    }
    const std::string text = platform::Format(
        "※不一致情報データベースファイルを作成する空き容量がありません。SaveDBFileData()\n"
        "\tExpectFileSize[ %s ] Byte\n\tDiskFreeSize[ %s ] Byte\n",
        GroupedDigits(expect).c_str(), GroupedDigits(free).c_str());
    TraceAndShow(text);
    PostToMain(WM_HIDE_REPAIR_BTN);
}

// --- the result log ---

BOOL CMyMakeFile::OpenLogFile(platform::CTextFile* pFile, platform::FileError* pError) {
    std::string work;
    if (!ReserveWorkArea(work)) {
        ui::ShowBox("Can not get memory area!\n At OpenLogFile");
        return FALSE;
    }
    if (pFile == nullptr)
        return FALSE;
    work = m_strLogFile;
    // A refusal the caller reports as a failed open.
    const auto Refuse = [pError](int nCause, int nErrno) {
        if (pError != nullptr) {
            pError->m_cause = nCause;
            pError->m_nOsError = nErrno;
        }
        return FALSE;
    };

    // The log the program chose is one of its own files; a log the user names is followed through
    // a link, as a shell's ">" follows it.
    const bool bOwnLog = work == DefaultLogPath();
    if (int nErrno = 0; bOwnLog && !OwnFileUsable(work, &nErrno)) {
        return Refuse(platform::CauseFromErrno(nErrno), nErrno);
    }

    // Truncating FILE A or FILE B to write the log into it would destroy what is compared.
    const platform::FileIdentity idLog = platform::IdentityOfPath(work);
    if (idLog.SameAs(LocalIdentity(0)) || idLog.SameAs(LocalIdentity(1))) {
        ui::ShowBox("※ログファイルに比較するファイルは指定できません。");
        return FALSE;
    }

    platform::FileStatus status;
    const bool bExists = platform::GetFileStatus(work, &status);
    // A log cannot live in a pipe or a socket (a write would wait for ever), nor on a disk device,
    // where "overwriting" it writes over the start of the disk: refused as an open that failed,
    // before anyone is asked to overwrite.
    if (bExists && (status.m_kind == platform::FileKind::Fifo ||
                    status.m_kind == platform::FileKind::Socket ||
                    status.m_kind == platform::FileKind::BlockDevice)) {
        return Refuse(platform::CauseFromErrno(ENXIO), ENXIO);
    }
    if (bExists) {
        CMyOverwriteDlg dlg;
        dlg.SetMessage(work.c_str());
        if (dlg.DoModal() == IDCANCEL) {
            m_outcome = RunOutcome::kDeclined;
            return FALSE;
        }
    }
    // Two runs writing one log would mix it: it stays locked while it is written, and is emptied
    // only once the lock is held. Where the system has no locks it is written as it always was.
    if (!pFile->Open(work, platform::CTextFile::modeReadWriteKeep, pError,
                     bOwnLog ? platform::kOpenNoFollow : 0))
        return FALSE;
    const int fd = pFile->Handle();
    if (platform::FileLockExclusive(fd, false) != 0 && platform::LastError() == EWOULDBLOCK) {
        pFile->Close();
        m_outcome = RunOutcome::kLogBusy;
        return Refuse(platform::kCauseSharingViolation, EWOULDBLOCK);
    }
    // A device (/dev/null) has nothing to empty.
    if (platform::FileTruncate(fd, 0) != 0 && platform::LastError() != EINVAL) {
        const int err = platform::LastError();
        pFile->Close();
        return Refuse(platform::CauseFromErrno(err), err);
    }
    return TRUE;
}

void CMyMakeFile::WriteLogHeader() {
    std::string text = kStars + "\n          Octetwatch 結果出力ファイル\n" + kStars + "\n\n";
    text += "File A   : " + m_strFileA;
    text += platform::Format(" \t/ Size %15I64d Byte\n", m_i64SizeA);
    m_fileLog.WriteString(text);

    text = "File B   : " + m_strFileB;
    text += platform::Format(" \t/ Size %15I64d Byte\n", m_i64SizeB);
    m_fileLog.WriteString(text);

    m_fileLog.WriteString("Log File : " + m_strLogFile + "\n\n" + kDashes + "\n");
    m_fileLog.WriteString("   Address     Data A  Data B\n" + kDashes + "\n");
}

std::string_view CMyMakeFile::FormatDiffLine(char (&line)[kLineRoom], std::int64_t i64Adrs,
                                             BYTE bDataA, BYTE bDataB) const {
    char* p = platform::PutHex(line, static_cast<std::uint64_t>(i64Adrs), 10);
    p = platform::PutText(p, " h :   ");
    const bool noByteB = m_nSizeMode == SIZE_A_LONGER && i64Adrs >= m_i64SizeB;
    const bool noByteA = !noByteB && m_nSizeMode == SIZE_B_LONGER && i64Adrs >= m_i64SizeA;
    p = noByteA ? platform::PutText(p, "--") : platform::PutHex(p, bDataA, 2);
    p = platform::PutText(p, "      ");
    p = noByteB ? platform::PutText(p, "--") : platform::PutHex(p, bDataB, 2);
    p = platform::PutText(p, "\r\n"); // the line as the log holds it
    return {line, static_cast<std::size_t>(p - line)};
}

BOOL CMyMakeFile::WriteLogFooter() {
    const platform::LocalTime t = platform::NowLocal();
    return m_fileLog.WriteString(platform::Format(
        "%s\n\nGenerated by Octetwatch At %04d/%02d/%02d %02d:%02d:%02d\n", kDashes.c_str(),
        t.m_nYear, t.m_nMonth, t.m_nDay, t.m_nHour, t.m_nMinute, t.m_nSecond))
               ? TRUE
               : FALSE;
}
