#pragma once
// A file written whole beside the one it replaces and put in its place in one step: a reader sees
// the old file or the new one, never a mix, and a failure leaves the old file and nothing else.
#include <string>

namespace platform {

class CReplacement {
public:
    CReplacement() = default;
    ~CReplacement() { Abandon(); }
    CReplacement(const CReplacement&) = delete;
    CReplacement& operator=(const CReplacement&) = delete;

    // Opens the new, empty file in the folder of `path`: false, with LastError(), when it cannot.
    // A folder, or a file without any write permission bit, at `path` is refused as an open of it
    // would be. The fault injector is told of the handle under `path`, the name the file takes.
    bool Begin(const std::string& path);
    int Handle() const { return m_fd; }
    // Flushes the new file, puts it in place of the old one and flushes the folder. False, with
    // LastError(), when any step failed; the old file is then as it was, unless only the folder's
    // flush failed, when the new file is in place but may not survive a power cut.
    bool Commit();
    // Closes and removes the new file; the old one stays.
    void Abandon();

private:
    bool NameTheFile();

    std::string m_strPath;
    std::string m_strFold;
    std::string m_strTemp; // the new file's name while it has one of its own
    int m_fd = -1;
};

} // namespace platform
