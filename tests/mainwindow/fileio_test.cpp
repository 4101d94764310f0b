// Writing and reading whole files on the real (Wine) file system: the
// temporary file and the rename, paths longer than MAX_PATH with non-ASCII
// names, a target held open by another handle, a folder that is not there.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "mainwindow/FileIo.h"

namespace {

std::wstring folderFor(const wchar_t* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring f = std::wstring(temp) + name;
    CreateDirectoryW(f.c_str(), nullptr);
    return f;
}

int temporaryFilesIn(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(systemPath(folder + L"\\*.tmp").c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    int n = 1;
    while (FindNextFileW(h, &found))
        ++n;
    FindClose(h);
    return n;
}

std::string readBack(const std::wstring& path)
{
    std::string bytes;
    std::wstring reason;
    EXPECT_TRUE(readWholeFile(path, bytes, reason, 1 << 20)) << std::string(reason.begin(), reason.end());
    return bytes;
}

}  // namespace

TEST(FileIo, LongNonAsciiPathsAreWrittenReplacedAndRead)
{
    std::wstring deep = folderFor(L"qx-fileio \u00e4\u00f6\u00fc \u6e2c\u5b9a");
    while (deep.size() < MAX_PATH + 60) {
        deep += L"\\Ordner mit langem Namen " + std::to_wstring(deep.size());
        CreateDirectoryW(systemPath(deep).c_str(), nullptr);
    }
    const std::wstring path = deep + L"\\Messung \u00fc.csv";
    ASSERT_GT(path.size(), static_cast<size_t>(MAX_PATH));
    std::wstring reason;
    ASSERT_TRUE(writeFileAtomically(path, "first\r\n", reason)) << std::string(reason.begin(), reason.end());
    EXPECT_EQ(readBack(path), "first\r\n");
    ASSERT_TRUE(writeFileAtomically(path, std::string(100000, 'x'), reason));
    EXPECT_EQ(readBack(path), std::string(100000, 'x')) << "replaced whole";
    EXPECT_EQ(temporaryFilesIn(deep), 0);

    std::string some;
    ASSERT_TRUE(readWholeFile(path, some, reason, 10));
    EXPECT_EQ(some.size(), 10u) << "no more than the limit is read";
}

TEST(FileIo, AFailureLeavesTheTargetAsItWasAndSaysWhy)
{
    const std::wstring folder = folderFor(L"qx-fileio-failures");
    const std::wstring path = folder + L"\\held.csv";
    std::wstring reason;
    ASSERT_TRUE(writeFileAtomically(path, "kept", reason));

    // Another program holds the file open without sharing.
    HANDLE hold = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    reason.clear();
    EXPECT_FALSE(writeFileAtomically(path, "new contents", reason));
    CloseHandle(hold);
    EXPECT_NE(reason.find(L"(error "), std::wstring::npos) << std::string(reason.begin(), reason.end());
    EXPECT_EQ(readBack(path), "kept");
    EXPECT_EQ(temporaryFilesIn(folder), 0) << "the temporary file is removed";

    // A folder that does not exist.
    reason.clear();
    EXPECT_FALSE(writeFileAtomically(folder + L"\\missing\\x.csv", "x", reason));
    EXPECT_NE(reason.find(L"(error 3)"), std::wstring::npos) << std::string(reason.begin(), reason.end());

    std::string bytes;
    reason.clear();
    EXPECT_FALSE(readWholeFile(folder + L"\\absent.csv", bytes, reason, 100));
    EXPECT_NE(reason.find(L"(error 2)"), std::wstring::npos);
}
