#include "platform/management_service.h"
#include "platform/system_info.h"
#include "profile/system_facts.h"
#include "run/work_thread.h"

namespace kivota {

// The once-per-program system facts, gathered on the worker thread before the first run asks
// the server for its configuration.
void CWorkThread::vGatherWmiFacts() {
    if (!svc.wmi || !svc.system) {
        // Without the services nothing can be learned; the facts read as not available.
        rs.profile.userOs = "null";
        rs.profile.userAntivir = "null";
        return;
    }
    kivota::vGatherWmiFacts(rs.profile, *svc.wmi, *svc.system, isVistaOrLater);
}

}  // namespace kivota
