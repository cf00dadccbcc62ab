#include "net/curl_global.h"

#include <curl/curl.h>

#include <mutex>

namespace kivota {

bool bInitCurlGlobal() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_ALL) == CURLE_OK; });
    return ok;
}

}  // namespace kivota
