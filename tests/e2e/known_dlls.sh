#!/usr/bin/env bash
# Fails when an installer imports a DLL that is not a KnownDLL of Windows.
# Windows loads a KnownDLL only from the system folder; any other imported
# DLL is looked for beside the program first, before the program's own code
# runs, so a copy planted in a downloads folder would be loaded with the
# installer's administrator rights.
# Usage: known_dlls.sh OBJDUMP INSTALLER.exe...
set -u
objdump=$1
shift
# The KnownDLLs of Windows 7 and later (ntdll is always loaded from the
# system folder). comctl32, version, uxtheme, winmm and the like are not.
declare -A known
for name in advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt \
    normaliz nsi ntdll ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 \
    wldap32 ws2_32; do
  known[$name]=1
done
status=0
for exe in "$@"; do
  dlls=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p' | tr 'A-Z' 'a-z')
  if [ -z "$dlls" ]; then
    echo "$exe: no imports found (objdump failed?)"
    status=1
    continue
  fi
  for dll in $dlls; do
    base=${dll%.dll}
    if [ -n "${known[$base]:-}" ]; then
      echo "$exe: $dll (KnownDLL)"
    else
      echo "$exe: $dll is not a KnownDLL and can be planted beside the installer"
      status=1
    fi
  done
done
exit $status
