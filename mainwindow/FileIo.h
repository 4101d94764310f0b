// Files written and read whole, for the main window's file commands.
//
// How it works
// - writeFileAtomically writes a temporary file beside the target
//   ("<target>.<process id>.tmp"), flushes it and renames it over the target
//   in one step (MoveFileExW, replacing), so a failure never leaves half a
//   file; the temporary file is removed on any failure.
// - Paths of MAX_PATH or more are handed to the system with the "\\?\"
//   prefix (or "\\?\UNC\" for a share), so long paths work without the
//   program's manifest opting in.
// - A failure comes back as the system's own wording with the error number
//   (systemErrorText, foundation/SystemError.h).
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// `path` in a form the file functions take at any length.
std::wstring systemPath(const std::wstring& path);

// Writes `bytes` to `path` through a temporary file and a rename. On failure
// the target is as it was, and `reason` says why.
bool writeFileAtomically(const std::wstring& path, const std::string& bytes, std::wstring& reason);

// The whole file, at most `limit` bytes of it, or false with the reason.
bool readWholeFile(const std::wstring& path, std::string& bytes, std::wstring& reason, size_t limit);

// UTF-16 and UTF-8, both ways.
std::string utf8(const std::wstring& w);
std::wstring wide(const std::string& s);
// The last part of a path: the file's name.
std::wstring fileNameOf(const std::wstring& path);
// Runs the standard dialog; the chosen path, or empty when cancelled.
std::wstring fileDialog(HWND owner, bool save, const wchar_t* title, const wchar_t* filter,
                        const wchar_t* extension, const std::wstring& initialName);
