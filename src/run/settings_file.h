#pragma once
// The settings file of the unattended mode: lines "Key<blank or tab>value", "/" starting a
// comment line, read as code page 950. It names the FTP server and account, the phase lengths
// and the connection counts, and switches the automatic mode on.

#include <istream>
#include <string>

#include "run/run_state.h"

namespace kivota {

// Reads the settings at `path` into `rs`. autoTestMode is cleared first; a missing or
// unreadable file leaves the rest at its defaults. An AutoTest value other than Y/y or a
// Testtype other than jMOVA stops the reading at that line.
void vReadSettingsFile(RunState& rs, const std::string& path);

// The same reading from an open stream (the file's bytes): autoTestMode is cleared first.
void vReadSettings(RunState& rs, std::istream& in);

}  // namespace kivota
