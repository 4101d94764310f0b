#include "Shell.h"

#include <atomic>
#include <fstream>
#include <sstream>

#include "Environment.h"
#include "Wait.h"

namespace qxsupport {

int runShell(const std::string& command, DWORD limitMs, std::string* output)
{
    static std::atomic<int> serial{0};
    const std::string base = "/tmp/qx-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(serial.fetch_add(1));
    const std::string script = base + ".sh";
    const std::string out = base + ".out";
    const std::string done = base + ".done";
    {
        std::ofstream s(windowsPath(script).c_str(), std::ios::trunc | std::ios::binary);
        s << "#!/bin/sh\n";
        s << "export PATH=/usr/local/bin:/usr/bin:/bin:/usr/sbin:/sbin\n";
        for (const char* v : {"DISPLAY", "PULSE_SERVER", "PULSE_CLIENTCONFIG", "XDG_RUNTIME_DIR",
                              "HOME", "QX_ENV", "QX_PRIVATE_PULSE_PID", "QX_PRIVATE_PULSE_START",
                              "QX_MIC2"}) {
            const std::string value = environment(v);
            if (!value.empty())
                s << "export " << v << "='" << value << "'\n";
        }
        s << "( " << command << " ) >" << out << " 2>&1 </dev/null\n";
        s << "echo $? >" << done << ".part && mv " << done << ".part " << done << "\n";
        if (!s)
            return -1;
    }
    std::wstring commandLine = L"/bin/sh " + widen(script);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    int status = -1;
    if (CreateProcessW(L"Z:\\bin\\sh", &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                       nullptr, &startup, &info)) {
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
        const std::wstring doneWin = windowsPath(done);
        waitFor(
            [&] {
                std::ifstream d(doneWin.c_str());
                int code = -1;
                if (!(d >> code))
                    return false;
                status = code;
                return true;
            },
            limitMs, 10);
    }
    if (output) {
        std::ifstream o(windowsPath(out).c_str(), std::ios::binary);
        std::stringstream text;
        text << o.rdbuf();
        *output = text.str();
    }
    DeleteFileW(windowsPath(script).c_str());
    DeleteFileW(windowsPath(out).c_str());
    DeleteFileW(windowsPath(done).c_str());
    return status;
}

std::string shellOutput(const std::string& command, DWORD limitMs)
{
    std::string output;
    runShell("( " + command + " ) 2>/dev/null", limitMs, &output);
    return output;
}

}  // namespace qxsupport
