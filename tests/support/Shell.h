// Unix commands run from a test program under Wine (pactl, xdotool, a sound
// server to kill, ...). Wine starts a Unix program from CreateProcess but
// gives back neither its end nor its exit code, so the command runs in a
// small script that writes its status to a file when it is done, and the
// file is waited for. The script exports the variables the sound server and
// the X display are found by.
#pragma once

#include <windows.h>

#include <string>

namespace qxsupport {

// Runs a command line through /bin/sh and waits (at most limitMs) for it.
// Its exit status, or -1 when it could not be started or timed out. When
// `output` is given it receives what the command wrote (stdout and stderr).
int runShell(const std::string& command, DWORD limitMs = 20000, std::string* output = nullptr);
// What the command wrote on standard output.
std::string shellOutput(const std::string& command, DWORD limitMs = 20000);

}  // namespace qxsupport
