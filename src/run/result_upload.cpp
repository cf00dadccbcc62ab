#include "run/work_thread.h"

namespace kivota {

// Placeholder until the result upload is built.
void CWorkThread::vUploadResult() {}

}  // namespace kivota
