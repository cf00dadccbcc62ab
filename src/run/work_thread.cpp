#include "run/work_thread.h"

namespace kivota {

CWorkThread::CWorkThread(WorkerServices services) : svc(std::move(services)), rs(*svc.state) {
    phaseStart = keepaliveLast = keepaliveNow = svc.clock->now();
}

CWorkThread::~CWorkThread() = default;

void CWorkThread::Execute() {}

void CWorkThread::vCleanUp() {}

bool CWorkThread::bHttpRequest(const std::string&, bool, bool, bool, std::string&) { return false; }

bool CWorkThread::bHttpPost(const std::string&, const std::string&, bool, bool, bool, std::string&) {
    return false;
}

}  // namespace kivota
