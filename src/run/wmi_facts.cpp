#include "run/work_thread.h"

namespace kivota {

// Placeholder until the system facts are built.
void CWorkThread::vGatherWmiFacts() {}

}  // namespace kivota
