#pragma once
// RAII helpers for tests that work on real files.
#include "platform/Encoding.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

namespace testsupport {

namespace fs = std::filesystem;

// A file a test has to make where it stands (the working folder), removed however the test ends.
class ScopedFile {
public:
    explicit ScopedFile(std::string path) : m_path(std::move(path)) {}
    ~ScopedFile() {
        std::error_code ec;
        fs::remove(m_path, ec);
    }
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;
    const std::string& Str() const { return m_path; }

private:
    std::string m_path;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
public:
    TempDir() {
        std::string templ = (fs::temp_directory_path() / "octw-XXXXXX").string();
        char* made = ::mkdtemp(templ.data());
        if (made == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = made;
    }
    ~TempDir() {
        std::error_code ec;
        // Files made read-only by a test must not stop the clean-up.
        for (auto& e : fs::recursive_directory_iterator(m_path, ec))
            fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return (m_path / name).string(); }
    std::string Str() const { return m_path.string(); }

private:
    fs::path m_path;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return {};
    // One read of the whole file: tests read files of many megabytes.
    std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Text as the program stores it: CP932 bytes, CR LF line ends.
inline std::string OnDisk(const std::string& utf8) {
    std::string crlf;
    for (char c : utf8) {
        if (c == '\n')
            crlf.push_back('\r');
        crlf.push_back(c);
    }
    return platform::Utf8ToCp932(crlf);
}

// A sparse file of `size` bytes (all zero) into which tests poke single bytes.
inline void MakeSparse(const std::string& path, std::int64_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).close();
    fs::resize_file(path, static_cast<std::uintmax_t>(size));
}

inline void PokeByte(const std::string& path, std::int64_t offset, unsigned char value) {
    std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
    f.seekp(offset);
    f.put(static_cast<char>(value));
}

inline void MakeReadOnly(const std::string& path) {
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write |
                              fs::perms::others_write,
                    fs::perm_options::remove);
}

// A real tmpfs of `bytes` bytes mounted on a fresh folder: a disk that fills up, or with
// MS_RDONLY a folder that not even root can write. Needs root (as CI has); the test is skipped
// where the mount is not allowed.
class TinyTmpfs {
public:
    explicit TinyTmpfs(std::size_t bytes, unsigned long flags = 0) {
        std::string opts = "size=" + std::to_string(bytes);
        m_bMounted =
            ::mount("octw-tmpfs", m_dir.Str().c_str(), "tmpfs", flags, opts.c_str()) == 0;
    }
    ~TinyTmpfs() {
        if (m_bMounted)
            ::umount2(m_dir.Str().c_str(), MNT_DETACH);
    }
    bool Mounted() const { return m_bMounted; }
    std::string operator/(const std::string& name) const { return m_dir / name; }
    std::string Str() const { return m_dir.Str(); }

private:
    TempDir m_dir;
    bool m_bMounted = false;
};

// Sets (or with nullptr unsets) an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_strName(name) {
        if (const char* old = std::getenv(name))
            m_old = old;
        Set(value);
    }
    ~ScopedEnv() { Set(m_old ? m_old->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const char* value) {
        if (value)
            ::setenv(m_strName.c_str(), value, 1);
        else
            ::unsetenv(m_strName.c_str());
    }
    std::string m_strName;
    std::optional<std::string> m_old;
};

#define OCTW_REQUIRE_TMPFS(fs)                                                                     \
    do {                                                                                           \
        if (!(fs).Mounted())                                                                       \
            GTEST_SKIP() << "mounting a tmpfs needs root";                                         \
    } while (0)

} // namespace testsupport
