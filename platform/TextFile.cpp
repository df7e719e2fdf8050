#include "platform/TextFile.h"

#include "platform/Encoding.h"
#include "platform/LowFile.h"

#include <cerrno>

namespace platform {

int CauseFromErrno(int err) {
    switch (err) {
    case 0:
        return kCauseNone;
    case ENOENT:
        return kCauseFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
    case EINVAL:
        return kCauseBadPath;
    case EMFILE:
    case ENFILE:
        return kCauseTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
    case ENXIO: // a named pipe or a socket, which is never opened as a file
        return kCauseAccessDenied;
    case EBADF:
        return kCauseInvalidFile;
    case ESPIPE:
    case EOVERFLOW:
        return kCauseBadSeek;
    case EIO:
        return kCauseHardIO;
    case EBUSY:
    case ETXTBSY:
        return kCauseSharingViolation;
    case ENOLCK:
        return kCauseLockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return kCauseDiskFull;
    default:
        return kCauseGeneric;
    }
}

namespace {
void Fail(FileError* error, int err) {
    if (error) {
        error->m_cause = CauseFromErrno(err);
        if (error->m_cause == kCauseNone)
            error->m_cause = kCauseGeneric;
        error->m_nOsError = err;
    }
}
} // namespace

std::string_view FileForm(std::string_view text, std::string& work, std::string& out) {
    std::string_view body = text;
    if (std::size_t nl = text.find('\n'); nl != std::string_view::npos) {
        work.clear();
        std::size_t from = 0;
        for (; nl != std::string_view::npos; from = nl + 1, nl = text.find('\n', from)) {
            work.append(text.substr(from, nl - from));
            work.append("\r\n");
        }
        work.append(text.substr(from));
        body = work;
    }
    // ASCII (every log line) is its own CP932 form.
    if (AsciiPrefix(body) != body.size()) {
        Utf8ToCp932(body, out);
        body = out;
    }
    return body;
}

CTextFile::~CTextFile() { Close(); }

bool CTextFile::Open(const std::string& path, Mode mode, FileError* error, int flags) {
    Close();
    switch (mode) {
    case modeRead:
        flags |= kOpenRead;
        break;
    case modeWrite:
        flags |= kOpenWrite | kOpenCreate | kOpenTruncate;
        break;
    case modeAppend:
        flags |= kOpenWrite | kOpenCreate | kOpenAppend;
        break;
    case modeReadWriteKeep:
        flags |= kOpenReadWrite | kOpenCreate;
        break;
    case modeCreateReadWrite:
        flags |= kOpenReadWrite | kOpenCreate | kOpenTruncate;
        break;
    }
    if (path.empty()) {
        Fail(error, ENOENT);
        return false;
    }
    m_fd = FileOpen(path, flags);
    if (m_fd == -1) {
        const int err = LastError();
        Fail(error, err);
        // Creating a file in a folder that does not exist is a bad path, not a missing file.
        if (error && err == ENOENT && (flags & kOpenCreate))
            error->m_cause = kCauseBadPath;
        return false;
    }
    m_inBuf.clear();
    m_inPos = 0;
    m_bInEof = false;
    m_nReadError = 0;
    m_i64Written = 0;
    return true;
}

bool CTextFile::WriteString(std::string_view text, FileError* error) {
    return WriteBytes(FileForm(text, m_crlf, m_outBuf), error);
}

bool CTextFile::WriteBytes(std::string_view bytes, FileError* error) {
    if (m_fd == -1) {
        Fail(error, EBADF);
        return false;
    }
    if (bytes.empty())
        return true;
    // Read before the write: after a system call this object is fetched anew, and a count
    // stored is cheaper than a count read and stored.
    const std::int64_t written = m_i64Written + static_cast<std::int64_t>(bytes.size());
    if (FileWrite(m_fd, bytes.data(), bytes.size()) < 0) {
        Fail(error, LastError());
        return false;
    }
    m_i64Written = written;
    return true;
}

bool CTextFile::FillInput() {
    if (m_bInEof)
        return false;
    char buf[4096];
    std::int64_t n = FileRead(m_fd, buf, sizeof buf);
    if (n <= 0) {
        m_bInEof = true;
        if (n < 0)
            m_nReadError = LastError();
        return false;
    }
    m_inBuf.erase(0, m_inPos);
    m_inPos = 0;
    m_inBuf.append(buf, static_cast<std::size_t>(n));
    return true;
}

bool CTextFile::ReadString(std::string& line, FileError* error) {
    line.clear();
    if (m_fd == -1) {
        Fail(error, EBADF);
        return false;
    }
    for (;;) {
        std::size_t nl = m_inBuf.find('\n', m_inPos);
        if (nl != std::string::npos) {
            std::size_t end = nl;
            if (end > m_inPos && m_inBuf[end - 1] == '\r')
                --end;
            line = Cp932ToUtf8(std::string_view(m_inBuf).substr(m_inPos, end - m_inPos));
            m_inPos = nl + 1;
            return true;
        }
        if (!FillInput()) {
            // What was read before a failed read is not a line: the rest of it is missing.
            if (m_nReadError != 0) {
                Fail(error, m_nReadError);
                return false;
            }
            if (m_inPos >= m_inBuf.size())
                return false;
            line = Cp932ToUtf8(std::string_view(m_inBuf).substr(m_inPos));
            m_inPos = m_inBuf.size();
            return true;
        }
    }
}

bool CTextFile::Close() {
    if (m_fd == -1)
        return true;
    const bool closed = FileClose(m_fd) == 0;
    m_fd = -1;
    return closed;
}

} // namespace platform
