#!/usr/bin/env bash
# The Windows installer under wine: a silent install puts the programs into
# Program Files with the Start-menu entry, the installed updater tells its
# version and orvo-tool.exe starts, and a silent uninstall removes the
# program and keeps the user's settings in %LOCALAPPDATA%\Orvo Updater.
#   windows_installer_test.sh SETUP.exe VERSION WORK_FOLDER
set -euo pipefail
for tool in wine xvfb-run winepath; do
  command -v "$tool" >/dev/null || { echo "windows installer test: $tool is needed and missing" >&2; exit 1; }
done
if [ -z "${ORVO_ON_VIRTUAL_DISPLAY:-}" ]; then
  ORVO_ON_VIRTUAL_DISPLAY=1 exec xvfb-run -a "$0" "$@"
fi
setup=$(realpath -m "$1") version=$2 work=$(realpath -m "$3")
[ -f "$setup" ] || { echo "windows installer test: no installer at $setup" >&2; exit 1; }

failures=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }

# A fresh prefix: nothing of an earlier run may make a check pass.
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX=$work/wineprefix WINEDEBUG=${WINEDEBUG:--all}
wineboot -i >/dev/null 2>&1
wineserver -w

unix_path() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
program_files=$(unix_path "$(wine cmd /c echo %ProgramW6432% 2>/dev/null | tr -d '\r')")
local_data=$(unix_path "$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')")
start_menu=$(unix_path "$(wine cmd /c echo %ProgramData% 2>/dev/null | tr -d '\r')")"/Microsoft/Windows/Start Menu/Programs/Orvo Updater"
installed=$program_files/Orvo\ Updater

wine "$setup" /S
wineserver -w
for file in orvo-updater.exe orvo-tool.exe Lang_FRA.Dll Lang_DUT.Dll Lang_FIN.Dll Lang_SWD.Dll Lang_SPN.Dll Lang_GER.Dll \
            Tessel.bmp uninstall.exe; do
  [ -f "$installed/$file" ] || fail "$file is not in $installed"
done
[ -f "$start_menu/Orvo Updater.lnk" ] || fail "no Start-menu entry in $start_menu"

said=$(wine "$installed/orvo-updater.exe" --version 2>&1 | tr -d '\r') || fail "orvo-updater.exe --version failed: $said"
case $said in *"$version"*) ;; *) fail "orvo-updater.exe --version said '$said', not $version" ;; esac
wine "$installed/orvo-tool.exe" --help >/dev/null 2>&1 || fail "the installed orvo-tool.exe does not start"

# The user's settings, as the updater keeps them in the user's data folder.
mkdir -p "$local_data/Orvo Updater"
printf '&o=8\r\n&c=4\r\n50\r\n' > "$local_data/Orvo Updater/tessell"
cp "$local_data/Orvo Updater/tessell" "$work/tessell.before"

wine "$installed/uninstall.exe" /S
wineserver -w  # the uninstaller runs on from a copy of itself
[ ! -e "$installed" ] || fail "$installed is still there: $(ls -A "$installed" | tr '\n' ' ')"
[ ! -e "$start_menu" ] || fail "the Start-menu folder is still there"
cmp -s "$work/tessell.before" "$local_data/Orvo Updater/tessell" || fail "the user's settings file is gone or changed"

if [ $failures -gt 0 ]; then
  echo "windows installer test: $failures check(s) failed" >&2
  exit 1
fi
echo "windows installer test: installed, started and uninstalled; the user's settings kept"
