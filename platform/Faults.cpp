#include "platform/Faults.h"

namespace platform {

void SetFaultInjector(IFaultInjector* injector) { g_pFaultInjector.store(injector); }

bool MayAllocate(std::size_t bytes) {
    IFaultInjector* f = FaultInjector();
    return f == nullptr || f->OnAllocate(bytes);
}

} // namespace platform
