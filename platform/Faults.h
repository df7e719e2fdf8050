#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// Lets a test make the file layer, the free-space query and allocations fail. Production code
// never installs one; each hook costs one atomic load when none is installed.
class IFaultInjector {
public:
    virtual ~IFaultInjector() = default;
    virtual void OnOpen(int fd, const std::string& path) = 0;
    // Return 0, or an errno value for the close to report (the descriptor is closed either way).
    virtual int OnClose(int fd) = 0;
    // Return 0 to let the transfer go ahead, with `n` possibly lowered (a read then ends early as
    // at the end of the file; a write is cut short), or an errno value to fail it. A read begins
    // at `i64At` in the file.
    virtual int OnRead(int fd, std::int64_t i64At, std::size_t& n) = 0;
    virtual int OnWrite(int fd, std::size_t& n) = 0;
    // True to answer a free-space query with `bytes` instead of asking the system.
    virtual bool OnFreeSpace(const std::string& fold, std::uint64_t& bytes) = 0;
    // False to make the allocation fail.
    virtual bool OnAllocate(std::size_t bytes) = 0;
    // False to make opening the CP932 converter fail, as on a system without it.
    virtual bool OnOpenConverter() { return true; }
    // False to make starting a thread fail, as when the system has no more threads to give.
    virtual bool OnStartThread() { return true; }
    // False to make the file system unable to tell where a file's holes are.
    virtual bool OnDataMap(int /*fd*/) { return true; }
    // True to answer the question for the machine's memory with `bytes`.
    virtual bool OnMemorySize(std::uint64_t& /*bytes*/) { return false; }
};

void SetFaultInjector(IFaultInjector* injector); // nullptr removes it
// Looked at for every read and write: one load, inline.
inline std::atomic<IFaultInjector*> g_pFaultInjector{nullptr};
inline IFaultInjector* FaultInjector() { return g_pFaultInjector.load(std::memory_order_acquire); }

// Asked before an allocation whose failure the program reports: false means "out of memory".
bool MayAllocate(std::size_t bytes);

} // namespace platform
