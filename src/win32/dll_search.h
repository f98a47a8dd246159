// Where the installer lets the system look for DLLs loaded after start.
#pragma once

namespace brisko {

// Limits the search for DLLs loaded from now on to the system folder, so that
// a DLL named like one that the shell, COM or the common controls load later,
// placed beside the installer (a downloads folder), is never loaded with the
// installer's administrator rights. Uses SetDefaultDllDirectories where the
// system has it and otherwise takes the current folder out of the search
// with SetDllDirectoryW(L""). Call it first, before any COM, shell or
// common-control call.
void RestrictDllSearch();

}  // namespace brisko
