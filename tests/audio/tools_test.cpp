// The external tool launchers, with a harmless stand-in program (the real
// tools do not exist under Wine) copied into folders of the test.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "EngineHarness.h"
#include "Environment.h"
#include "audio/AudioEngine.h"

using namespace qxtest;

namespace {

class ToolsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        stub_ = qxsupport::windowsPathFromEnv("QX_TOOL_STUB");  // the stand-in program
        ASSERT_FALSE(stub_.empty()) << "QX_TOOL_STUB is not set";
        ASSERT_NE(GetFileAttributesW(stub_.c_str()), INVALID_FILE_ATTRIBUTES) << "no stand-in";
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        root_ = std::wstring(temp) + L"qx-tools-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(root_.c_str(), nullptr);
        log_ = root_ + L"\\started.log";
        DeleteFileW(log_.c_str());
        SetEnvironmentVariableW(L"QX_TOOL_LOG", log_.c_str());
        quit_ = CreateEventW(nullptr, TRUE, FALSE, L"QxToolStubQuit");
        GetCurrentDirectoryW(MAX_PATH, savedDirectory_);
        engine_ = std::make_unique<AudioEngine>();
    }

    void TearDown() override
    {
        SetEvent(quit_);
        waitUntil([] { return processesNamed(L"sndvol32.exe") == 0; }, 5000);
        waitUntil([] { return processesNamed(L"sndvol.exe") == 0; }, 5000);
        waitUntil([] { return processesNamed(L"sndrec32.exe") == 0; }, 5000);
        engine_.reset();
        CloseHandle(quit_);
        SetCurrentDirectoryW(savedDirectory_);
        for (const std::wstring& f : files_)
            DeleteFileW(f.c_str());
        for (auto d = folders_.rbegin(); d != folders_.rend(); ++d)
            RemoveDirectoryW(d->c_str());
        DeleteFileW(log_.c_str());
        RemoveDirectoryW(root_.c_str());
    }

    std::wstring folder(const wchar_t* name)
    {
        std::wstring path = root_ + L"\\" + name;
        CreateDirectoryW(path.c_str(), nullptr);
        folders_.push_back(path);
        return path;
    }

    void place(const std::wstring& folderPath, const wchar_t* asName)
    {
        const std::wstring target = folderPath + L"\\" + asName;
        ASSERT_TRUE(CopyFileW(stub_.c_str(), target.c_str(), FALSE));
        files_.push_back(target);
    }

    // Lines "program path|command line" the stand-ins wrote, in order.
    std::vector<std::wstring> started() const
    {
        std::vector<std::wstring> lines;
        HANDLE file = CreateFileW(log_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return lines;
        std::wstring text;
        wchar_t buffer[1024];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0)
            text.append(buffer, got / sizeof(wchar_t));
        CloseHandle(file);
        size_t start = 0;
        for (size_t end; (end = text.find(L'\n', start)) != std::wstring::npos; start = end + 1)
            lines.push_back(text.substr(start, end - start));
        return lines;
    }

    std::wstring stub_;
    std::wstring root_;
    std::wstring log_;
    HANDLE quit_ = nullptr;
    wchar_t savedDirectory_[MAX_PATH];
    std::vector<std::wstring> files_;
    std::vector<std::wstring> folders_;
    std::unique_ptr<AudioEngine> engine_;
};

bool endsWith(const std::wstring& s, const std::wstring& tail)
{
    return s.size() >= tail.size() &&
           _wcsicmp(s.c_str() + s.size() - tail.size(), tail.c_str()) == 0;
}

}  // namespace

TEST_F(ToolsTest, VolumeControlRunsOnceAndStartsAgainAfterItEnded)
{
    const std::wstring tools = folder(L"system");
    place(tools, L"sndvol32.exe");
    engine_->setToolDirectory(tools.c_str());

    engine_->notify(Notification(Code::LineControl));
    ASSERT_TRUE(waitUntil([&] { return started().size() == 1; }, 10000));
    EXPECT_TRUE(engine_->toolRunning(0));
    // A second press while it runs starts nothing (a program is started in
    // the call itself: a second copy would exist when it returns).
    engine_->notify(Notification(Code::LineControl));
    engine_->launchVolumeControl();
    EXPECT_EQ(processesNamed(L"sndvol32.exe"), 1);

    const std::wstring line = started()[0];
    const std::wstring path = line.substr(0, line.find(L'|'));
    const std::wstring commandLine = line.substr(line.find(L'|') + 1);
    EXPECT_TRUE(endsWith(path, L"\\system\\sndvol32.exe")) << std::string(path.begin(), path.end());
    EXPECT_TRUE(endsWith(commandLine, L" /r"))
        << std::string(commandLine.begin(), commandLine.end());

    // The user closes it: the watcher ends, and the next press starts it.
    SetEvent(quit_);
    ASSERT_TRUE(waitUntil([&] { return !engine_->toolRunning(0); }, 10000));
    EXPECT_EQ(processesNamed(L"sndvol32.exe"), 0);
    ResetEvent(quit_);
    engine_->notify(Notification(Code::LineControl));
    ASSERT_TRUE(waitUntil([&] { return started().size() == 2; }, 10000));
    EXPECT_TRUE(engine_->toolRunning(0));
    EXPECT_EQ(processesNamed(L"sndvol32.exe"), 1);
}

TEST_F(ToolsTest, RecorderRunsOnceWithoutArguments)
{
    const std::wstring tools = folder(L"system");
    place(tools, L"sndrec32.exe");
    engine_->setToolDirectory(tools.c_str());
    engine_->launchRecorder();
    engine_->launchRecorder();
    EXPECT_EQ(processesNamed(L"sndrec32.exe"), 1);
    ASSERT_TRUE(waitUntil([&] { return started().size() == 1; }, 10000));
    EXPECT_TRUE(engine_->toolRunning(1));
    EXPECT_FALSE(engine_->toolRunning(0)) << "the other tool is independent";
    const std::wstring line = started()[0];
    EXPECT_TRUE(endsWith(line.substr(0, line.find(L'|')), L"\\sndrec32.exe"));
    EXPECT_TRUE(endsWith(line, L"sndrec32.exe\"")) << "no argument besides its own name";
}

TEST_F(ToolsTest, NeverStartsAProgramFromTheCurrentDirectory)
{
    // A program named like the classic tool waits in the current directory;
    // the tool directory has only the newer program.
    const std::wstring planted = folder(L"downloads");
    place(planted, L"sndvol32.exe");
    const std::wstring tools = folder(L"system");
    place(tools, L"sndvol.exe");
    ASSERT_TRUE(SetCurrentDirectoryW(planted.c_str()));
    engine_->setToolDirectory(tools.c_str());
    engine_->launchVolumeControl();
    ASSERT_TRUE(waitUntil([&] { return started().size() == 1; }, 10000));
    const std::wstring line = started()[0];
    EXPECT_TRUE(endsWith(line.substr(0, line.find(L'|')), L"\\system\\sndvol.exe"))
        << std::string(line.begin(), line.end());
    EXPECT_EQ(line.find(L"/r"), std::wstring::npos) << "the newer program takes no /r";
    EXPECT_EQ(processesNamed(L"sndvol32.exe"), 0);
}

TEST_F(ToolsTest, NothingToStartIsNotAnError)
{
    const std::wstring planted = folder(L"downloads");
    place(planted, L"sndvol32.exe");
    place(planted, L"sndrec32.exe");
    const std::wstring empty = folder(L"empty");
    ASSERT_TRUE(SetCurrentDirectoryW(planted.c_str()));
    engine_->setToolDirectory(empty.c_str());
    engine_->launchVolumeControl();
    engine_->launchRecorder();
    EXPECT_EQ(processesNamed(L"sndvol32.exe") + processesNamed(L"sndrec32.exe"), 0);
    EXPECT_TRUE(started().empty());
    EXPECT_FALSE(engine_->toolRunning(0));
    EXPECT_FALSE(engine_->toolRunning(1));
    // A later press tries again.
    place(empty, L"sndvol32.exe");
    engine_->launchVolumeControl();
    EXPECT_TRUE(waitUntil([&] { return started().size() == 1; }, 10000));
}

TEST_F(ToolsTest, AProgramThatNeedsAMissingFileIsPassedOver)
{
    static const ToolProgram programs[] = {
        {L"sndrec32.exe", L"extra.cpl", L"extra.cpl"},
        {L"sndvol.exe", nullptr, nullptr},
    };
    const std::wstring tools = folder(L"system");
    place(tools, L"sndrec32.exe");
    place(tools, L"sndvol.exe");
    engine_->setToolDirectory(tools.c_str());
    engine_->setToolPrograms(1, programs, 2);
    engine_->launchRecorder();
    ASSERT_TRUE(waitUntil([&] { return started().size() == 1; }, 10000));
    EXPECT_TRUE(endsWith(started()[0].substr(0, started()[0].find(L'|')), L"\\sndvol.exe"));
}

TEST_F(ToolsTest, TheEngineCanGoWhileAToolRuns)
{
    const std::wstring tools = folder(L"system");
    place(tools, L"sndvol32.exe");
    engine_->setToolDirectory(tools.c_str());
    engine_->launchVolumeControl();
    ASSERT_TRUE(waitUntil([&] { return started().size() == 1; }, 10000));
    engine_.reset();  // the tool keeps running after the engine is gone
    EXPECT_EQ(processesNamed(L"sndvol32.exe"), 1);
}
