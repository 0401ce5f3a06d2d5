#!/usr/bin/env bash
# Builds the Debian package from a finished build, checks it with lintian,
# desktop-file-validate and appstreamcli, unpacks it and starts the unpacked
# updater as an unprivileged user with a fresh home folder: its first start
# must write the settings file into that user's data folder, and it must find
# its language libraries and picture in the package's own folders.
#
#   tests/packaging/package_test.sh BUILD_DIR APP_ID
#
# With ORVO_PACKAGE_INSTALL_TEST=1 it also installs the package with dpkg and
# removes it again (changes the machine: only for a throw-away one).
set -euo pipefail

build=$(cd "$1" && pwd)
app_id=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"

fail() { echo "FAIL: $*" >&2; exit 1; }
need() { command -v "$1" >/dev/null || fail "$1 is missing: run scripts/install-deps.sh"; }
for tool in cpack dpkg-deb lintian desktop-file-validate appstreamcli setpriv; do need "$tool"; done

echo "== package"
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/orvo-updater_*.deb)
dpkg-deb --info "$deb" | tee "$work/info"
grep -q '^ Depends:.*fonts-liberation2' "$work/info" || fail "the package does not depend on fonts-liberation2"
dpkg-deb --contents "$deb" >"$work/contents"
for file in ./usr/bin/orvo-updater ./usr/lib/orvo-updater/Lang_GER.Dll ./usr/share/orvo-updater/Tessel.bmp \
            ./usr/lib/udev/rules.d/70-orvo-dfu.rules ./usr/share/applications/$app_id.desktop \
            ./usr/share/icons/hicolor/scalable/apps/$app_id.svg ./usr/share/metainfo/$app_id.metainfo.xml \
            ./usr/share/doc/orvo-updater/copyright; do
  grep -q " $file\$" "$work/contents" || fail "the package lacks $file"
done

echo "== lintian"
# Errors fail; warnings and notes are shown.
lintian --allow-root --tag-display-limit 0 "$deb" | tee "$work/lintian" || true
if grep -q '^E:' "$work/lintian"; then fail "lintian reports errors"; fi

echo "== unpack"
root=$work/root
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$app_id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
grep -q 'TAG+="uaccess"' "$root/usr/lib/udev/rules.d/70-orvo-dfu.rules" || fail "the udev rule has no uaccess tag"

echo "== first start as an unprivileged user"
home=$work/home
mkdir -p "$home"
chown nobody:nogroup "$home"
as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups
         env -i PATH=/usr/bin:/bin HOME="$home" QT_QPA_PLATFORM=offscreen)
updater=$root/usr/bin/orvo-updater

"${as_user[@]}" "$updater" --version | grep -q '^orvo-updater [0-9]' || fail "--version"
"${as_user[@]}" "$updater" --help | grep -q -- '--locations' || fail "--help"
"${as_user[@]}" "$updater" --locations >/dev/null || fail "--locations"
[ ! -e "$home/.local" ] || fail "--locations created folders"
set +e
"${as_user[@]}" "$updater" --unknown-option 2>/dev/null
status=$?
set -e
[ "$status" -eq 2 ] || fail "an unknown option ended with $status, not 2"
# Without any display the updater says so in one line instead of aborting.
set +e
setpriv --reuid=nobody --regid=nogroup --clear-groups env -i HOME="$home" "$updater" 2>"$work/nodisplay"
status=$?
set -e
[ "$status" -ne 0 ] && [ "$status" -ne 134 ] || fail "a start without a display ended with $status"
[ "$(wc -l <"$work/nodisplay")" -eq 1 ] || { cat "$work/nodisplay"; fail "no one-line message without a display"; }

timeout 60 "${as_user[@]}" "$updater" --language=German --quit-after-start || fail "the first start did not end by itself"
settings=$home/.local/share/orvo-updater/tessell
[ -f "$settings" ] || fail "no settings file in the user's data folder"
[ "$(stat -c %U "$settings")" = nobody ] || fail "the settings file does not belong to the user"
[ "$(head -n 2 "$settings" | tr '\n' ' ')" = "&o=8 &c=4 " ] || { cat "$settings"; fail "the settings file does not hold the choice"; }
[ ! -e "$root/usr/bin/tessell" ] || fail "a settings file was written beside the program"

"${as_user[@]}" "$updater" --locations | tee "$work/locations"
grep -qx "settings file:  $settings" "$work/locations" || fail "--locations names another settings file"
grep -qx "picture:        $root/usr/share/orvo-updater/Tessel.bmp" "$work/locations" || fail "the picture was not found"
grep -qx "language:       German (8), $root/usr/lib/orvo-updater/Lang_GER.Dll" "$work/locations" ||
  fail "the German library was not loaded from the package's folder"
if grep -q '(not found)' "$work/locations"; then fail "a resource was not found"; fi

if [ "${ORVO_PACKAGE_INSTALL_TEST:-}" = 1 ]; then
  echo "== install and remove"
  dpkg -i "$deb"
  /usr/bin/orvo-updater --version
  dpkg -r orvo-updater
  dpkg -P orvo-updater
  [ ! -e /usr/bin/orvo-updater ] && [ ! -e /usr/lib/orvo-updater ] && [ ! -e /usr/lib/udev/rules.d/70-orvo-dfu.rules ] ||
    fail "files left behind after removal"
fi
echo "package test passed"
