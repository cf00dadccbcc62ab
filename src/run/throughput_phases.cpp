#include "run/work_thread.h"

namespace kivota {

// Placeholder until the phases are built: no phase runs, so nothing is measured.
bool CWorkThread::bDownloadPhase() { return false; }
bool CWorkThread::bUploadPhase(bool) { return false; }
void CWorkThread::vOnProgress(int, double, std::int64_t, std::int64_t) {}

}  // namespace kivota
