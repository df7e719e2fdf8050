#pragma once
// Text files as the program stores them: CP932 bytes with CR LF line ends. Writing converts
// UTF-8 to CP932 and "\n" to CR LF; reading takes lines ended by CR LF or LF and gives UTF-8.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Causes of a failed file operation, numbered as the program's error texts expect.
enum FileErrorCause : int {
    kCauseNone = 0,
    kCauseGeneric = 1,
    kCauseFileNotFound = 2,
    kCauseBadPath = 3,
    kCauseTooManyOpenFiles = 4,
    kCauseAccessDenied = 5,
    kCauseInvalidFile = 6,
    kCauseRemoveCurrentDir = 7,
    kCauseDirectoryFull = 8,
    kCauseBadSeek = 9,
    kCauseHardIO = 10,
    kCauseSharingViolation = 11,
    kCauseLockViolation = 12,
    kCauseDiskFull = 13,
    kCauseEndOfFile = 14,
};

struct FileError {
    int m_cause = kCauseNone;
    int m_nOsError = 0; // the errno behind the cause
};

int CauseFromErrno(int err);

// What `text` (UTF-8, lines ended by "\n") is in a text file: CP932, lines ended by CR LF. A view
// of `text` itself when that is already its form, otherwise of `out`; `work` holds the step
// between. Both buffers keep their storage for the next call.
std::string_view FileForm(std::string_view text, std::string& work, std::string& out);

class CTextFile {
public:
    enum Mode {
        modeRead,              // existing file, read only
        modeWrite,             // create or truncate, write
        modeAppend,            // create when missing, write at the end
        modeReadWriteKeep,     // create when missing, keep contents, read and write
        modeCreateReadWrite,   // create or truncate, read and write
    };

    CTextFile() = default;
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // `flags` adds FileOpenFlags to the mode's, such as kOpenNoFollow.
    bool Open(const std::string& path, Mode mode, FileError* error = nullptr, int flags = 0);
    bool IsOpen() const { return m_fd != -1; }
    int Handle() const { return m_fd; }

    // One write to the system per call, so the text is in the file when this returns.
    bool WriteString(std::string_view text, FileError* error = nullptr);
    // The same for text already in its file form (see FileForm): for lines written by the
    // million, which are put together in that form.
    bool WriteBytes(std::string_view bytes, FileError* error = nullptr);
    // Nothing is held back by WriteString; kept so callers can say where a line must be out.
    bool Flush() { return IsOpen(); }
    // Bytes written since the file was opened, as they stand in it.
    std::int64_t BytesWritten() const { return m_i64Written; }
    // Next line without its end; false at the end of the file or on a read error, which `error`
    // tells apart: its cause stays none at the end of the file.
    bool ReadString(std::string& line, FileError* error = nullptr);
    // False when the system reports that what was written may not have reached the file.
    bool Close();

private:
    bool FillInput();

    int m_fd = -1;
    std::int64_t m_i64Written = 0;
    std::string m_outBuf; // reused: writing a line does not allocate once it has grown
    std::string m_crlf;
    std::string m_inBuf;
    std::size_t m_inPos = 0;
    bool m_bInEof = false;
    int m_nReadError = 0; // the errno of a failed read; 0 at a plain end of the file
};

} // namespace platform
