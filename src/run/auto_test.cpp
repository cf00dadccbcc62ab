#include "run/work_thread.h"

namespace kivota {

// Placeholder until the automatic mode is built.
void CWorkThread::vRunAutoTest() {}

}  // namespace kivota
