#include "Signal.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "Environment.h"

namespace qxsupport {

namespace {

std::string firstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

}  // namespace

bool haveFeeder()
{
    return !environment("QX_FEED_SIGNAL_WIN").empty();
}

bool feedSignal(const std::vector<std::string>& lines, DWORD limitMs)
{
    const std::string path = environment("QX_FEED_SIGNAL_WIN");
    if (path.empty())
        return false;
    // A token no earlier signal of any process had.
    static LONG counter = 0;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    std::ostringstream token;
    token << GetCurrentProcessId() << '-' << InterlockedIncrement(&counter) << '-'
          << now.QuadPart;

    const std::string temporary = path + "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        for (const std::string& line : lines)
            out << line << "\n";
        out << "id " << token.str() << "\n";
        if (!out)
            return false;
    }
    if (!MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;
    const std::string heard = path + ".heard";
    const ULONGLONG end = GetTickCount64() + limitMs;
    for (;;) {
        if (firstLine(heard) == token.str())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(10);
    }
}

}  // namespace qxsupport
