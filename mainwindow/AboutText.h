// The text of the About box, built from the version, the build's commit and
// the licence. Portable: no Windows headers, tested natively.
//
// How it works
// - The licence arrives as the LICENSE file's lines. Its paragraphs are
//   joined into single lines (a blank line separates paragraphs), so the
//   message box wraps them to its own width instead of breaking every line
//   at the file's column 80.
#pragma once

#include <string>

// "QX-700 Spectrum Analyzer", "Version V", "Build C", a blank line, then the
// licence's paragraphs, one per line, separated by blank lines. Lines end in
// "\n"; surplus spaces and line ends of the licence are dropped.
std::wstring aboutText(const std::wstring& version, const std::wstring& commit,
                       const std::wstring& licence);

// The licence with each paragraph on one line, paragraphs separated by one
// blank line, no blank line at either end.
std::wstring joinParagraphs(const std::wstring& text);
