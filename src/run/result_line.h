#pragma once
// The result line: everything a run learned, as one form-encoded line whose layout the
// operator's server parses field by field. It goes scrambled to the server after an
// interactive run, and (without the last fields) into the local result file after an
// unattended one. Values are not URL-encoded; the scrambling protects the whole line.

#include <string>
#include <string_view>

#include "run/run_state.h"

namespace kivota {

class CWorkThread;

// The answer to the server's hot-fix question: for each asked identifier (comma-separated,
// trimmed of blanks, empty items skipped), "id:1" when it is in the installed list, else
// "id:0", joined by ",".
std::string szHotFixAnswer(std::string_view asked, std::string_view installed);

// The value of the first cookie of the session cookie text ("NAME=value ..."): the text after
// the first '=' up to the next blank or line end. Long cookies are taken whole. Empty when the
// text has no '='.
std::string szCookieValue(std::string_view cookie);

// Average total CPU load of the run's samples, truncated; -1 when no sample was taken, or when
// the once-per-process facts said the OS is newer and the sum stayed 0.
int iCpuUsage(const ResourceSums& sums, bool isVistaOrLater);

// Per-core average loads "%.2f" joined by "," ("-1" for a core whose sum is negative or when no
// sample was taken) for `coreCount` cores; the overall figure as decimal text on a machine with
// fewer than 2 cores.
std::string szCoreUsage(const ResourceSums& sums, int coreCount, int cpuUsage);

// "free,total" in MiB: the average free memory of the samples (-1 without samples) and the total.
std::string szMemoryText(const ResourceSums& sums, int memTotalMb);

// The query of the result upload, with auth_code and the optional QUELM and HotFix parts.
std::string szResultQuery(const CWorkThread& worker, std::string_view cookieValue);

// The line of the local result file: the run's start time, a tab, and the query's fields
// without Core_Usage, auth_code and the optional parts.
std::string szResultFileLine(const CWorkThread& worker, std::string_view startTime);

// The POST body: "Null=<random1><random2>&<query>" as UTF-16LE bytes, in hexadecimal, XOR the
// key picked from the cookie value, behind "code=". Empty when the cookie value leaves no key.
std::string szResultBody(std::string_view query, std::string_view cookieValue, int random1, int random2);

}  // namespace kivota
