// Windows helpers shared by the unit and end-to-end tests.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace brisko::test {

// `bytes` in code page `codePage` as UTF-16.
std::wstring Widen(std::string_view bytes, UINT codePage = CP_ACP);

// The text of a window of any process. WM_GETTEXT, not GetWindowText: for
// another process's window the latter returns the stored caption, not an
// edit control's contents. Empty when the window does not answer.
std::wstring WindowTextW(HWND hwnd);

// Writes a shortcut file at `linkPath` whose target is `target`, as the
// shell's "create shortcut" does (IShellLinkW::SetPath, IPersistFile::Save),
// creating its folder first. Both paths are Shift-JIS, as RemoveTree's is,
// whatever the system's code page. False on failure.
bool SaveShortcut(const std::string& linkPath, const std::string& target);

}  // namespace brisko::test
