#include "platform/Faults.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<IFaultInjector*> g_pInjector{nullptr};
}

void SetFaultInjector(IFaultInjector* injector) { g_pInjector.store(injector); }

IFaultInjector* FaultInjector() { return g_pInjector.load(std::memory_order_acquire); }

bool MayAllocate(std::size_t bytes) {
    IFaultInjector* f = FaultInjector();
    return f == nullptr || f->OnAllocate(bytes);
}

} // namespace platform
