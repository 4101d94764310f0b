#include "mainwindow/AboutText.h"

namespace {

bool isBlank(const std::wstring& line)
{
    return line.find_first_not_of(L" \t\r") == std::wstring::npos;
}

std::wstring trimmed(const std::wstring& line)
{
    const size_t first = line.find_first_not_of(L" \t\r");
    const size_t last = line.find_last_not_of(L" \t\r");
    return first == std::wstring::npos ? std::wstring() : line.substr(first, last - first + 1);
}

}  // namespace

std::wstring joinParagraphs(const std::wstring& text)
{
    std::wstring out;
    bool inParagraph = false;  // the last line added belongs to an open paragraph
    bool gap = false;          // a blank line came since
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = text.substr(start, end - start);
        start = end + 1;
        if (isBlank(line)) {
            gap = inParagraph;
            continue;
        }
        if (inParagraph && !gap)
            out += L' ';
        else if (inParagraph)
            out += L"\n\n";
        out += trimmed(line);
        inParagraph = true;
        gap = false;
    }
    return out;
}

std::wstring aboutText(const std::wstring& version, const std::wstring& commit,
                       const std::wstring& licence)
{
    std::wstring text = L"QX-700 Spectrum Analyzer\n";
    text += L"Version " + version + L"\n";
    text += L"Build " + commit + L"\n";
    const std::wstring paragraphs = joinParagraphs(licence);
    if (!paragraphs.empty())
        text += L"\n" + paragraphs + L"\n";
    return text;
}
