#pragma once
// libcurl's process-wide set-up must run once, before any thread makes a request.

namespace kivota {

// Initialises libcurl the first time it is called; later calls do nothing. Returns whether
// the initialisation succeeded. Call it from main before starting any thread.
bool bInitCurlGlobal();

}  // namespace kivota
