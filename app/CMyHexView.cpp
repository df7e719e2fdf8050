#include "app/CMyHexView.h"

#include "platform/Format.h"
#include "platform/LowFile.h"
#include "util/PathUtil.h"

#include <algorithm>
#include <cstring>

// Both files open for one operation, closed however it ends.
struct CMyHexView::FilePair {
    FilePair() = default;
    ~FilePair() {
        for (int fd : m_fd)
            if (fd != -1)
                platform::FileClose(fd);
    }
    FilePair(const FilePair&) = delete;
    FilePair& operator=(const FilePair&) = delete;
    int m_fd[2] = {-1, -1};
};

bool CMyHexView::OpenBoth(FilePair* pFiles) {
    const std::string* paths[2] = {&m_strFileA, &m_strFileB};
    for (int f = 0; f < 2; ++f) {
        pFiles->m_fd[f] =
            platform::FileOpen(*paths[f], platform::kOpenRead | platform::kOpenCompared);
        if (pFiles->m_fd[f] == -1) {
            Fail(f, platform::LastError());
            return false;
        }
    }
    return true;
}

void CMyHexView::SetFiles(const std::string& strFileA, const std::string& strFileB) {
    m_strFileA = strFileA;
    m_strFileB = strFileB;
}

void CMyHexView::Fail(int nFile, int nError) {
    m_nErrorFile = nFile;
    m_nError = nError;
}

int CMyHexView::ReadRows(std::int64_t i64Adrs, int nRows, std::vector<HexRow>* pRows) {
    pRows->clear();
    FilePair files;
    if (!OpenBoth(&files))
        return -1;
    const std::int64_t i64Top =
        std::max<std::int64_t>(i64Adrs, 0) / HexRow::kBytes * HexRow::kBytes;
    const std::size_t nBytes = static_cast<std::size_t>(nRows) * HexRow::kBytes;
    std::vector<BYTE>* bufs[2] = {&m_bufA, &m_bufB};
    std::int64_t got[2] = {0, 0};
    for (int f = 0; f < 2; ++f) {
        bufs[f]->resize(nBytes);
        got[f] = platform::FileReadAt(files.m_fd[f], bufs[f]->data(), nBytes, i64Top);
        if (got[f] < 0) {
            Fail(f, platform::LastError());
            return -1;
        }
    }
    const std::int64_t i64Compared = m_map.Length();
    const std::int64_t i64Shown = std::max(got[0], got[1]);
    for (std::int64_t off = 0; off < i64Shown; off += HexRow::kBytes) {
        HexRow row;
        row.m_i64Adrs = i64Top + off;
        row.m_nCountA = static_cast<int>(std::clamp<std::int64_t>(got[0] - off, 0, HexRow::kBytes));
        row.m_nCountB = static_cast<int>(std::clamp<std::int64_t>(got[1] - off, 0, HexRow::kBytes));
        std::memcpy(row.m_abA, m_bufA.data() + off, static_cast<std::size_t>(row.m_nCountA));
        std::memcpy(row.m_abB, m_bufB.data() + off, static_cast<std::size_t>(row.m_nCountB));
        const int both = std::min(row.m_nCountA, row.m_nCountB);
        for (int i = 0; i < both && row.m_i64Adrs + i < i64Compared; ++i)
            if (row.m_abA[i] != row.m_abB[i])
                row.m_nDiffMask |= 1u << i;
        pRows->push_back(row);
    }
    return 0;
}

int CMyHexView::ScanRange(std::int64_t i64First, std::int64_t i64End, bool bForward,
                          std::int64_t* pi64Adrs) {
    FilePair files;
    if (!OpenBoth(&files))
        return -1;
    m_bufA.resize(kScanChunk);
    m_bufB.resize(kScanChunk);
    std::int64_t i64Left = i64First, i64Right = i64End; // what is still unread
    while (i64Left < i64Right) {
        const std::int64_t n = std::min<std::int64_t>(i64Right - i64Left, kScanChunk);
        const std::int64_t at = bForward ? i64Left : i64Right - n;
        const std::int64_t gotA =
            platform::FileReadAt(files.m_fd[0], m_bufA.data(), static_cast<std::size_t>(n), at);
        if (gotA < 0) {
            Fail(0, platform::LastError());
            return -1;
        }
        const std::int64_t gotB =
            platform::FileReadAt(files.m_fd[1], m_bufB.data(), static_cast<std::size_t>(n), at);
        if (gotB < 0) {
            Fail(1, platform::LastError());
            return -1;
        }
        // A file shorter than when it was compared: nothing past its end differs any more.
        const std::int64_t both = std::min(gotA, gotB);
        if (bForward) {
            const auto hit = std::mismatch(m_bufA.begin(), m_bufA.begin() + both, m_bufB.begin());
            if (hit.first != m_bufA.begin() + both) {
                *pi64Adrs = at + (hit.first - m_bufA.begin());
                return 1;
            }
            if (both < n)
                return 0;
            i64Left += n;
        } else {
            for (std::int64_t i = both - 1; i >= 0; --i) {
                if (m_bufA[static_cast<std::size_t>(i)] != m_bufB[static_cast<std::size_t>(i)]) {
                    *pi64Adrs = at + i;
                    return 1;
                }
            }
            i64Right -= n;
        }
    }
    return 0;
}

int CMyHexView::NextDiff(std::int64_t i64From, std::int64_t* pi64Adrs) {
    std::int64_t pos = std::max<std::int64_t>(i64From + 1, 0);
    for (int b = m_map.BucketOf(pos); b >= 0 && b < m_map.Buckets(); ++b) {
        if (m_map.Count(b) > 0) {
            const int r =
                ScanRange(std::max(pos, m_map.BucketFirst(b)), m_map.BucketEnd(b), true, pi64Adrs);
            if (r != 0)
                return r;
        }
    }
    return 0;
}

int CMyHexView::PrevDiff(std::int64_t i64From, std::int64_t* pi64Adrs) {
    const std::int64_t end = std::min(i64From, m_map.Length());
    if (end <= 0)
        return 0;
    for (int b = m_map.BucketOf(end - 1); b >= 0; --b) {
        if (m_map.Count(b) > 0) {
            const int r =
                ScanRange(m_map.BucketFirst(b), std::min(end, m_map.BucketEnd(b)), false, pi64Adrs);
            if (r != 0)
                return r;
        }
    }
    return 0;
}

std::string CMyHexView::AdrsText(std::int64_t i64Adrs) {
    char text[32];
    char* end = platform::PutHex(text, static_cast<std::uint64_t>(i64Adrs), 10);
    end = platform::PutText(end, " h");
    return std::string(text, end);
}

std::string CMyHexView::HexText(const HexRow& row, int nFile) {
    const int count = nFile == 0 ? row.m_nCountA : row.m_nCountB;
    const BYTE* bytes = nFile == 0 ? row.m_abA : row.m_abB;
    std::string text(HexRow::kBytes * 3 - 1, ' ');
    for (int i = 0; i < count; ++i)
        platform::PutHex(&text[static_cast<std::size_t>(i) * 3], bytes[i], 2);
    return text;
}

std::string CMyHexView::BucketText(const CMyDiffMap& map, int nBucket) {
    std::string count = std::to_string(map.Count(nBucket));
    AddComma(&count);
    return AdrsText(map.BucketFirst(nBucket)) + " - " + AdrsText(map.BucketEnd(nBucket) - 1) +
           "  不一致 " + count + " バイト";
}
