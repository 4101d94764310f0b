// The setup program and its uninstaller, run silently (/S) in the test's Wine
// prefix as a user or a deployment tool runs them, and checked through what
// Windows itself reads: the files in %LOCALAPPDATA%\Programs\QX-700, the
// Start-menu shortcut's target, the uninstall entry's values in the real
// registry, and the installed program started from its new home.
//
// The environment comes from tests/install/CMakeLists.txt: QX_SETUP (this
// build's setup program), QX_OLD_SETUP and QX_OLD_VERSION (an older version's,
// whose qx700.exe carries a marker), QX_VERSION and QX_EXE (the program the
// setup program must install, byte for byte).
#include <windows.h>

#include <knownfolders.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cwctype>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../mainwindow/Driver.h"

using namespace drive;

namespace {

const wchar_t* const kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QX-700";
const wchar_t* const kShortcutName = L"QX-700 Spectrum Analyzer.lnk";
const wchar_t* const kInstalledFiles[] = {L"qx700.exe", L"UserGuide.html", L"README.txt",
                                          L"LICENSE.txt", L"uninstall.exe"};
constexpr DWORD kSetupTimeoutMs = 180000;

std::wstring wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += static_cast<char>(c < 128 ? c : '?');
    return out;
}

std::wstring lower(std::wstring s)
{
    for (wchar_t& c : s)
        c = static_cast<wchar_t>(std::towlower(c));
    return s;
}

std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring out;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        out = path;
    CoTaskMemFree(path);
    return out;
}

std::wstring defaultInstallDir() { return knownFolder(FOLDERID_LocalAppData) + L"\\Programs\\QX-700"; }
std::wstring shortcutPath() { return knownFolder(FOLDERID_Programs) + L"\\" + kShortcutName; }

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::vector<char> bytesOf(const std::wstring& path)
{
    std::vector<char> out;
    HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return out;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(f, &size) && size.QuadPart > 0) {
        out.resize(static_cast<size_t>(size.QuadPart));
        DWORD read = 0;
        if (!ReadFile(f, out.data(), static_cast<DWORD>(out.size()), &read, nullptr) ||
            read != out.size())
            out.clear();
    }
    CloseHandle(f);
    return out;
}

bool uninstallKeyExists()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// A REG_SZ value of the uninstall entry; "<missing>" when absent or of another type.
std::wstring entryString(const wchar_t* name)
{
    wchar_t buffer[2048] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, buffer,
                     &size) != ERROR_SUCCESS)
        return L"<missing>";
    return buffer;
}

// A REG_DWORD value of the uninstall entry; -1 when absent or of another type.
long long entryDword(const wchar_t* name)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_DWORD, nullptr, &value,
                     &size) != ERROR_SUCCESS)
        return -1;
    return value;
}

// Where the shortcut leads, as the shell resolves it; empty when it cannot.
std::wstring shortcutTarget(const std::wstring& link)
{
    std::wstring target;
    IShellLinkW* shellLink = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&shellLink))))
        return target;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        wchar_t path[MAX_PATH] = {};
        if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
            SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
            target = path;
        file->Release();
    }
    shellLink->Release();
    return target;
}

// Runs a command line and waits for it and every process it starts (the
// uninstaller hands its work to a copy of itself and returns at once): they
// all run in one job, which must become empty. The command's exit code, or
// STILL_ACTIVE when the time ran out.
DWORD runToTheEnd(const std::wstring& commandLine, DWORD timeoutMs)
{
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (!job)
        return STILL_ACTIVE;
    std::wstring line = commandLine;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    DWORD code = STILL_ACTIVE;
    if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                       nullptr, &si, &pi)) {
        AssignProcessToJobObject(job, pi.hProcess);
        ResumeThread(pi.hThread);
        if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi.hProcess, &code);
        const bool emptied = waitFor(
            [&] {
                JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
                return QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info,
                                                 sizeof info, nullptr) &&
                       info.ActiveProcesses == 0;
            },
            timeoutMs, 100);
        if (!emptied)
            code = STILL_ACTIVE;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(job);
    return code;
}

DWORD runSetup(const std::string& setupEnv, const std::wstring& arguments)
{
    const std::wstring setup = windowsPath(environment(setupEnv.c_str()));
    return runToTheEnd(L"\"" + setup + L"\" " + arguments, kSetupTimeoutMs);
}

// Takes away whatever an earlier run left installed, as a user would.
void uninstallIfPresent()
{
    if (!uninstallKeyExists())
        return;
    const std::wstring quiet = entryString(L"QuietUninstallString");
    if (quiet != L"<missing>")
        runToTheEnd(quiet, kSetupTimeoutMs);
}

// The file and product version in the program's version resource.
std::wstring fileVersionOf(const std::wstring& path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return L"<none>";
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return L"<none>";
    return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
           std::to_wstring(HIWORD(fixed->dwFileVersionLS));
}

std::wstring imagePathOf(DWORD processId)
{
    std::wstring out;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return out;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (QueryFullProcessImageNameW(process, 0, path, &size))
        out = path;
    CloseHandle(process);
    return out;
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        settings::clear();
        feed({"silence"});
        uninstallIfPresent();
        ASSERT_FALSE(uninstallKeyExists()) << "an earlier installation could not be removed";
        ASSERT_FALSE(exists(defaultInstallDir() + L"\\qx700.exe"));
        exe_ = bytesOf(windowsPath(environment("QX_EXE")));
        ASSERT_GT(exe_.size(), 100000u) << "QX_EXE: the program the setup program carries";
    }
    void TearDown() override
    {
        setProgramPath("");
        uninstallIfPresent();
        settings::clear();
        CoUninitialize();
    }

    std::vector<char> exe_;
};

}  // namespace

TEST_F(InstallTest, SilentInstallPutsEverythingInPlaceAndTheProgramStartsFromThere)
{
    ASSERT_EQ(runSetup("QX_SETUP", L"/S"), 0u);
    const std::wstring dir = defaultInstallDir();
    const std::wstring installedExe = dir + L"\\qx700.exe";

    // The files: the program exactly as built, its version, the texts with
    // Windows line ends.
    for (const wchar_t* name : kInstalledFiles)
        EXPECT_TRUE(exists(dir + L"\\" + name)) << narrow(name);
    EXPECT_TRUE(bytesOf(installedExe) == exe_) << "the installed program is this build's";
    EXPECT_EQ(fileVersionOf(installedExe), wide(environment("QX_VERSION")));
    const std::vector<char> licence = bytesOf(dir + L"\\LICENSE.txt");
    EXPECT_EQ(std::string(licence.begin(), licence.end()).rfind("MIT License\r\n", 0), 0u);
    const std::vector<char> readme = bytesOf(dir + L"\\README.txt");
    const std::string readmeText(readme.begin(), readme.end());
    EXPECT_NE(readmeText.find("Start\r\n"), std::string::npos) << "the user's README";
    EXPECT_EQ(readmeText.find("scripts/"), std::string::npos) << "not the developer's";
    EXPECT_EQ(readmeText.find("\n"), readmeText.find("\r\n") + 1) << "Windows line ends";

    // The Start-menu shortcut leads to the installed program.
    ASSERT_TRUE(exists(shortcutPath())) << narrow(shortcutPath());
    EXPECT_EQ(lower(shortcutTarget(shortcutPath())), lower(installedExe));

    // The uninstall entry, as "Apps and features" reads it.
    EXPECT_EQ(entryString(L"DisplayName"), L"QX-700 Spectrum Analyzer");
    EXPECT_EQ(entryString(L"DisplayVersion"), wide(environment("QX_VERSION")));
    EXPECT_EQ(entryString(L"Publisher"), L"Tevra");
    EXPECT_EQ(lower(entryString(L"DisplayIcon")), lower(installedExe + L",0"));
    EXPECT_EQ(lower(entryString(L"InstallLocation")), lower(dir));
    EXPECT_EQ(lower(entryString(L"UninstallString")), lower(L"\"" + dir + L"\\uninstall.exe\""));
    EXPECT_EQ(lower(entryString(L"QuietUninstallString")),
              lower(L"\"" + dir + L"\\uninstall.exe\" /S"));
    EXPECT_EQ(entryDword(L"NoModify"), 1);
    EXPECT_EQ(entryDword(L"NoRepair"), 1);
    // In KiB: the four files, give or take the rounding of each.
    long long bytes = 0;
    for (const wchar_t* name : kInstalledFiles)
        bytes += static_cast<long long>(bytesOf(dir + L"\\" + name).size());
    const long long size = entryDword(L"EstimatedSize");
    EXPECT_GE(size, bytes / 1024 - 1);
    EXPECT_LE(size, bytes / 1024 + 4);

    // The program starts from its new home, shows its window and ends cleanly.
    setProgramPath(narrow(installedExe));
    Program p;
    ASSERT_TRUE(p.start()) << "the installed program opens its window";
    EXPECT_EQ(lower(imagePathOf(p.processId())), lower(installedExe));
    p.close();
    EXPECT_EQ(p.waitExit(20000), 0u);
}

TEST_F(InstallTest, InstallingOverAnOlderVersionUpgradesItInPlace)
{
    // The older version, in a folder of the user's choice.
    const std::wstring dir = knownFolder(FOLDERID_LocalAppData) + L"\\QX-700 chosen place";
    const std::wstring installedExe = dir + L"\\qx700.exe";
    ASSERT_EQ(runSetup("QX_OLD_SETUP", L"/S /D=" + dir), 0u);
    ASSERT_EQ(entryString(L"DisplayVersion"), wide(environment("QX_OLD_VERSION")));
    ASSERT_EQ(lower(entryString(L"InstallLocation")), lower(dir));
    const std::vector<char> oldExe = bytesOf(installedExe);
    ASSERT_FALSE(oldExe.empty());
    ASSERT_FALSE(oldExe == exe_) << "the older version's program is told apart by its marker";

    // While the older version runs, the setup program changes nothing and
    // says so in its exit code.
    setProgramPath(narrow(installedExe));
    {
        Program running;
        ASSERT_TRUE(running.start());
        EXPECT_EQ(runSetup("QX_SETUP", L"/S"), 2u);
        EXPECT_TRUE(bytesOf(installedExe) == oldExe);
        EXPECT_EQ(entryString(L"DisplayVersion"), wide(environment("QX_OLD_VERSION")));
        running.close();
        ASSERT_EQ(running.waitExit(20000), 0u);
    }

    // Then the upgrade: same folder, this build's program, one entry with
    // the new version.
    ASSERT_EQ(runSetup("QX_SETUP", L"/S"), 0u);
    EXPECT_TRUE(bytesOf(installedExe) == exe_) << "the program was replaced";
    EXPECT_FALSE(exists(defaultInstallDir() + L"\\qx700.exe")) << "no second copy elsewhere";
    EXPECT_EQ(entryString(L"DisplayVersion"), wide(environment("QX_VERSION")));
    EXPECT_EQ(lower(entryString(L"InstallLocation")), lower(dir));
    EXPECT_EQ(lower(entryString(L"QuietUninstallString")),
              lower(L"\"" + dir + L"\\uninstall.exe\" /S"));
    EXPECT_EQ(lower(shortcutTarget(shortcutPath())), lower(installedExe));

    Program upgraded;
    ASSERT_TRUE(upgraded.start());
    upgraded.close();
    EXPECT_EQ(upgraded.waitExit(20000), 0u);
}

TEST_F(InstallTest, SilentUninstallRemovesFilesShortcutAndEntryAndKeepsTheSettings)
{
    ASSERT_EQ(runSetup("QX_SETUP", L"/S"), 0u);
    const std::wstring dir = defaultInstallDir();
    ASSERT_TRUE(exists(dir + L"\\qx700.exe"));
    ASSERT_TRUE(exists(shortcutPath()));
    settings::set(L"SampFrq", 24000);
    settings::set(L"XPos", 17);

    // Exactly as Windows runs it for a quiet removal.
    const std::wstring quiet = entryString(L"QuietUninstallString");
    ASSERT_NE(quiet, L"<missing>");
    EXPECT_EQ(runToTheEnd(quiet, kSetupTimeoutMs), 0u);

    for (const wchar_t* name : kInstalledFiles)
        EXPECT_FALSE(exists(dir + L"\\" + name)) << narrow(name);
    EXPECT_FALSE(exists(dir)) << "the emptied folder goes too";
    EXPECT_FALSE(exists(shortcutPath()));
    EXPECT_FALSE(uninstallKeyExists());
    EXPECT_EQ(settings::get(L"SampFrq"), 24000) << "the user's settings stay";
    EXPECT_EQ(settings::get(L"XPos"), 17);
}

TEST_F(InstallTest, UninstallLeavesAFolderThatHoldsTheUsersOwnFiles)
{
    ASSERT_EQ(runSetup("QX_SETUP", L"/S"), 0u);
    const std::wstring dir = defaultInstallDir();
    const std::wstring own = dir + L"\\my notes.txt";
    {
        std::ofstream(narrow(own)) << "mine\n";
    }
    ASSERT_TRUE(exists(own));
    EXPECT_EQ(runToTheEnd(entryString(L"QuietUninstallString"), kSetupTimeoutMs), 0u);
    EXPECT_FALSE(exists(dir + L"\\qx700.exe"));
    EXPECT_TRUE(exists(own)) << "only what the setup program put there is removed";
    DeleteFileW(own.c_str());
    RemoveDirectoryW(dir.c_str());
}
