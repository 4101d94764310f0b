// The About box's text: header lines, and the licence reflowed into one line
// per paragraph without losing or reordering a word.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "mainwindow/AboutText.h"
#include "qx_licence.h"
#include "qx_version.h"

namespace {

std::vector<std::wstring> words(const std::wstring& text)
{
    std::wistringstream in(text);
    std::vector<std::wstring> out;
    for (std::wstring w; in >> w;)
        out.push_back(w);
    return out;
}

}  // namespace

TEST(AboutText, JoinsTheLinesOfEachParagraph)
{
    EXPECT_EQ(joinParagraphs(L"Title\n\nFirst line of\n  a paragraph \nends here.\n\n\n"
                             L"Second\r\nparagraph.\r\n"),
              L"Title\n\nFirst line of a paragraph ends here.\n\nSecond paragraph.");
}

TEST(AboutText, DropsBlankLinesAtEitherEndAndCollapsesRunsOfThem)
{
    EXPECT_EQ(joinParagraphs(L"\n \n\tOne\n\n \n\nTwo"), L"One\n\nTwo");
    EXPECT_EQ(joinParagraphs(L""), L"");
    EXPECT_EQ(joinParagraphs(L"\n\n"), L"");
    EXPECT_EQ(joinParagraphs(L"single"), L"single");
}

TEST(AboutText, HeaderThenTheLicence)
{
    EXPECT_EQ(aboutText(L"2.3.4", L"0123456789ab", L"Licence\n\nSome\nterms.\n"),
              L"QX-700 Spectrum Analyzer\nVersion 2.3.4\nBuild 0123456789ab\n\n"
              L"Licence\n\nSome terms.\n");
    // No licence: no trailing blank line either.
    EXPECT_EQ(aboutText(L"1.0.0", L"unknown", L""),
              L"QX-700 Spectrum Analyzer\nVersion 1.0.0\nBuild unknown\n");
}

// The program's own licence (LICENSE, compiled in at configure time) keeps
// every word in order, and its paragraphs stay apart.
TEST(AboutText, TheProgramsLicenceKeepsEveryWordInOrder)
{
    const std::wstring licence = kQxLicenceText;
    ASSERT_GT(licence.size(), 100u);
    const std::wstring text = aboutText(L"" QX_VERSION_TEXT, L"" QX_COMMIT_TEXT, licence);
    const std::wstring header = L"QX-700 Spectrum Analyzer\nVersion " QX_VERSION_TEXT
                                L"\nBuild " QX_COMMIT_TEXT L"\n\n";
    ASSERT_EQ(text.compare(0, header.size(), header), 0) << "header";
    const std::wstring body = text.substr(header.size());
    EXPECT_EQ(words(body), words(licence));

    // As many paragraphs as the file has blocks between blank lines.
    size_t blocks = 0;
    bool inBlock = false;
    std::wistringstream lines(licence);
    for (std::wstring line; std::getline(lines, line);) {
        const bool blank = line.find_first_not_of(L" \t\r") == std::wstring::npos;
        if (!blank && !inBlock)
            ++blocks;
        inBlock = !blank;
    }
    size_t paragraphs = 0;
    std::wistringstream out(body);
    for (std::wstring line; std::getline(out, line);)
        if (!line.empty())
            ++paragraphs;
    EXPECT_GE(blocks, 3u);
    EXPECT_EQ(paragraphs, blocks);
}
