#pragma once
// Writes one side's bytes of a difference store into an open file in place, the one writer of the
// repair and the patch: at every stored address where the other side's byte stands, in address
// order; then the file is flushed to disk and every address read back. Before it writes, it can
// count what the file holds, so that nothing is written into a file the store does not describe.
#include "platform/WinTypes.h"

#include <cstdint>
#include <vector>

class CMyDiffDataBase;

class CMyInPlaceWriter {
public:
    // What the file holds at the store's addresses, for the chosen direction.
    enum Verdict {
        kVerdictReady,    // the byte to be replaced at every address
        kVerdictPatched,  // the new byte at every address: nothing to write
        kVerdictPartly,   // the new byte at some addresses, the old one at the others, in any
                          // order: what a write stopped part-way leaves, finished or undone alike
        kVerdictMismatch, // anything else: not the file the store was made for
    };
    enum Failure {
        kFailNone,
        kFailRead,    // reading the file failed: m_nErrno
        kFailChanged, // an address changed between the check and its write
        kFailWrite,   // a write failed at m_i64FailAdrs: m_nErrno
        kFailSync,    // flushing to disk failed: m_nErrno
        kFailReadBack // a byte read back is not the one written (see m_i64From / m_i64Other)
    };

    CMyInPlaceWriter() = default;
    CMyInPlaceWriter(const CMyInPlaceWriter&) = delete;
    CMyInPlaceWriter& operator=(const CMyInPlaceWriter&) = delete;

    BOOL SetDataBaseADRS(const CMyDiffDataBase* pDataBase);
    // TRUE: the file holds FILE A's bytes and gets FILE B's; FALSE: the reverse.
    void SetPatchSource(BOOL bFromA) { m_bFromA = bFromA ? TRUE : FALSE; }
    BOOL IsFromA() const { return m_bFromA; }
    // The open file to work on (not owned; -1 for none), measured. FALSE with m_nErrno when it
    // cannot be measured.
    BOOL SetFile(int nFile);
    // Whether every record the store counts can be read.
    BOOL HasAllRecords() const;

    // Reads every address and counts what it holds; FALSE when a read failed.
    BOOL CheckFile();
    Verdict GetVerdict() const;
    // Writes the new byte wherever the old one still stands, flushes the file and reads every
    // address back. Stops at the first write that fails. Called after CheckFile, whose count of
    // new bytes it keeps in m_i64ToBefore. FALSE with m_nFailure set when anything
    // went wrong; the counts then hold what the file holds after the failure, whenever it could
    // still be read.
    BOOL DoWrite();
    // Flushes the file alone: a file that already holds the new bytes may not hold them on disk
    // yet (an earlier flush may have failed).
    BOOL SyncFile();

    // Counts of the last check: addresses holding the byte to be replaced, the new byte, neither
    // (or lying beyond the end of the file).
    std::int64_t m_i64From = 0;
    std::int64_t m_i64To = 0;
    std::int64_t m_i64Other = 0;
    // The first record that does not hold the byte to be replaced: its index, whether it lies
    // inside the file, and what the file holds there.
    std::int64_t m_i64FirstBad = -1;
    BOOL m_bFirstBadInside = FALSE;
    BYTE m_bFirstBadHeld = 0;
    // The first record still holding the byte to be replaced, -1 when none does.
    std::int64_t m_i64FirstFrom = -1;

    BOOL m_bCounted = FALSE; // the counts above describe the file as it is now
    std::int64_t m_i64FileSize = -1;
    std::int64_t m_i64Written = 0; // bytes changed by the writes that succeeded
    std::int64_t m_i64ToBefore = 0; // addresses that held the new byte before DoWrite
    int m_nFailure = kFailNone;
    int m_nErrno = 0;
    std::int64_t m_i64FailAdrs = -1;

protected:
    const CMyDiffDataBase* m_pDataBase = nullptr;
    BOOL m_bFromA = TRUE;
    int m_nFile = -1;

private:
    BYTE FromByte(std::size_t k) const;
    BYTE ToByte(std::size_t k) const;
    std::size_t CountInside() const;
    BOOL Fail(int nFailure, int nErrno);
    template <typename F> BOOL ScanSpans(F onSpan);
    BOOL WriteSpan(std::size_t nFirst, std::size_t nEnd, std::int64_t i64Start, std::int64_t i64Got);
    BOOL WriteRun(std::int64_t i64Lo, std::int64_t i64Hi, std::int64_t i64Start,
                  std::int64_t i64Changed);

    std::vector<BYTE> m_abWindow;
};
