#pragma once
// Both files side by side at one place, 16 bytes a row, for the difference map's view: the rows
// on screen, and the next or previous differing byte. It reads only what it shows, plus the one
// bucket of the map it lands in when it looks for a difference; buckets without differences are
// skipped unread.
#include "engine/CMyDiffMap.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>
#include <vector>

struct HexRow {
    static constexpr int kBytes = 16;
    std::int64_t m_i64Adrs = 0;
    int m_nCountA = 0; // bytes of each file in this row: fewer at a file's end
    int m_nCountB = 0;
    BYTE m_abA[kBytes] = {};
    BYTE m_abB[kBytes] = {};
    // Bit i: byte i differs and lies within the compared length.
    std::uint32_t m_nDiffMask = 0;
};

class CMyHexView {
public:
    // How much of a bucket one read takes while looking for a difference.
    static constexpr std::size_t kScanChunk = 0x10000;

    explicit CMyHexView(const CMyDiffMap& map) : m_map(map) {}
    CMyHexView(const CMyHexView&) = delete;
    CMyHexView& operator=(const CMyHexView&) = delete;

    // The files of the run the map was counted from; each operation opens and closes them.
    void SetFiles(const std::string& strFileA, const std::string& strFileB);

    // `nRows` rows from the row holding `i64Adrs`, as far as either file reaches: 0, or -1 when
    // a file could not be opened or read (Error()).
    int ReadRows(std::int64_t i64Adrs, int nRows, std::vector<HexRow>* pRows);
    // The first differing address after `i64From` (any address before the files: -1 starts at
    // 0): 1 found, 0 none, -1 a file could not be read.
    int NextDiff(std::int64_t i64From, std::int64_t* pi64Adrs);
    // The last differing address before `i64From`: the same results.
    int PrevDiff(std::int64_t i64From, std::int64_t* pi64Adrs);

    // Which file the last failure concerned (0 FILE A, 1 FILE B) and the system's reason.
    int ErrorFile() const { return m_nErrorFile; }
    int Error() const { return m_nError; }

    // Addresses as the result log writes them: "000001F400 h".
    static std::string AdrsText(std::int64_t i64Adrs);
    // One file's bytes of a row: "41 42 …", two blanks for each byte past its file's end.
    static std::string HexText(const HexRow& row, int nFile);
    // A bucket of the map: its address range and how many of its bytes differ.
    static std::string BucketText(const CMyDiffMap& map, int nBucket);

private:
    struct FilePair;
    bool OpenBoth(FilePair* pFiles);
    // The first (or last) differing address in [i64First, i64End), reading it in chunks.
    int ScanRange(std::int64_t i64First, std::int64_t i64End, bool bForward,
                  std::int64_t* pi64Adrs);
    void Fail(int nFile, int nError);

    const CMyDiffMap& m_map;
    std::string m_strFileA;
    std::string m_strFileB;
    std::vector<BYTE> m_bufA;
    std::vector<BYTE> m_bufB;
    int m_nErrorFile = 0;
    int m_nError = 0;
};
