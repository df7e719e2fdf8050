#pragma once
// Patches one file in place from a store read back from its database file: at every stored
// address the byte of one side (FILE A's or FILE B's) is replaced by the other's. Before the first
// write every address is verified; writes go in address order, then the file is flushed and every
// address is read back.
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

class CMyDiffDataBase;

class CMyDiffPatch {
public:
    // What the file holds at the store's addresses, for the chosen direction.
    enum Verdict {
        kVerdictReady,    // the byte to be replaced at every address
        kVerdictPatched,  // the new byte at every address: nothing to do
        kVerdictPartly,   // what a patch stopped part-way leaves: the new byte at the addresses
                          // below one point, the old above it, or the reverse
        kVerdictMismatch, // anything else: not the file the database was made for
    };
    enum Failure {
        kFailNone,
        kFailRead,    // reading the file failed: m_nErrno
        kFailChanged, // an address changed between the check and its write
        kFailWrite,   // a write failed at m_i64FailAdrs: m_nErrno
        kFailSync,    // flushing to disk failed: m_nErrno
        kFailReadBack // a byte read back is not the one written (see m_i64From / m_i64Other)
    };

    CMyDiffPatch() = default;
    ~CMyDiffPatch();
    CMyDiffPatch(const CMyDiffPatch&) = delete;
    CMyDiffPatch& operator=(const CMyDiffPatch&) = delete;

    BOOL SetDataBaseADRS(const CMyDiffDataBase* pDataBase);
    // TRUE: the file holds FILE A's bytes and gets FILE B's; FALSE: the reverse.
    void SetPatchSource(BOOL bFromA) { m_bFromA = bFromA ? TRUE : FALSE; }

    // Opens the file to patch (for reading only when it is only to be checked) and measures it.
    BOOL OpenPatchFile(const std::string& strFileName, BOOL bWrite);
    void ClosePatchFile();
    // Reads every address and counts what it holds; FALSE when a read failed.
    BOOL CheckPatchFile();
    int GetVerdict() const;
    // Writes the new byte wherever the old one still stands, flushes the file and reads every
    // address back. FALSE with m_nFailure set when anything went wrong; the counts then hold what
    // the file holds after the failure, whenever it could still be read.
    BOOL DoPatch();

    // Counts of the last check: addresses holding the byte to be replaced, the new byte, neither
    // (or lying beyond the end of the file).
    std::int64_t m_i64From = 0;
    std::int64_t m_i64To = 0;
    std::int64_t m_i64Other = 0;
    // The first address that does not hold the byte to be replaced: its record, whether it lies
    // inside the file, and what the file holds there.
    std::int64_t m_i64FirstBad = -1;
    BOOL m_bFirstBadInside = FALSE;
    BYTE m_bFirstBadHeld = 0;

    BOOL m_bCounted = FALSE; // the counts above describe the file as it is now
    std::int64_t m_i64FileSize = -1;
    std::int64_t m_i64Written = 0; // bytes changed by the writes that succeeded
    int m_nFailure = kFailNone;
    int m_nErrno = 0;
    std::int64_t m_i64FailAdrs = -1;

private:
    BYTE FromByte(std::size_t k) const;
    BYTE ToByte(std::size_t k) const;
    std::size_t CountInside() const;
    template <typename F> BOOL ScanSpans(F onSpan);
    BOOL WriteSpan(std::size_t nFirst, std::size_t nEnd, std::int64_t i64Start, std::int64_t i64Got);
    BOOL WriteRun(std::int64_t i64Lo, std::int64_t i64Hi, std::int64_t i64Start,
                  std::int64_t i64Changed);

    const CMyDiffDataBase* m_pDataBase = nullptr;
    BOOL m_bFromA = TRUE;
    int m_nFile = -1;
    BOOL m_bSplit = FALSE;
    std::vector<BYTE> m_abWindow;
};
