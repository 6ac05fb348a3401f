#!/bin/bash
# SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Packaging check (CI, as root): validates the desktop entry, AppStream
# metainfo and man pages, builds the Debian package and checks it with
# lintian, installs it with apt, starts the installed wizard the way the
# desktop menu does, checks that a second start only brings the first
# forward, queries the key store with the installed kivo-reg, then removes
# the package and checks nothing of it is left. Any failure stops the script
# with a message and a non-zero status.
set -euo pipefail
cd "$(dirname "$0")/.."
REL_BUILD=${REL_BUILD:-build-release}
APP_ID=org.kivo95.Wizard
APP_KEY='HKLM\SOFTWARE\Morvel\KIVO-WIZ'

fail() { echo "check-package: FAIL: $*" >&2; exit 1; }
step() { echo "check-package: $*"; }

scripts/bootstrap.sh  # the validators and dpkg-dev are in scripts/packages.txt

# ---- validators ------------------------------------------------------------
step "validating data/$APP_ID.desktop, metainfo and man pages"
desktop-file-validate "data/$APP_ID.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "data/$APP_ID.metainfo.xml" || fail "appstreamcli validate"
for page in data/man/*.1 data/man/*/*.1; do
    warnings=$( { LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" >/dev/null; } 2>&1 )
    # -k: the translated pages are UTF-8, as man-db reads them.
    warnings+=$(groff -k -ww -z -man "$page" 2>&1)
    [ -z "$warnings" ] || fail "man page $page: $warnings"
done

# ---- build -----------------------------------------------------------------
step "make deb"
make deb
shopt -s nullglob
debs=("$REL_BUILD"/kivo95_*.deb)
[ "${#debs[@]}" -eq 1 ] || fail "expected one package in $REL_BUILD, found ${#debs[@]}"
deb=$(realpath "${debs[0]}")
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 || fail "Depends lacks the Qt libraries (shlibdeps)"
dpkg-deb -f "$deb" Section | grep -qx net || fail "Section is not net"

# ---- Debian policy -----------------------------------------------------------
# Errors and warnings fail; lintian's informational tags are shown.
step "lintian $deb"
lintian --fail-on error,warning --display-info "$deb" || fail "lintian reports errors or warnings"

# ---- install ---------------------------------------------------------------
[ "$(id -u)" -eq 0 ] || fail "installing the package needs root"
if dpkg-query -W -f='${Status}' kivo95 2>/dev/null | grep -q "install ok installed"; then
    # A CI machine may keep what an interrupted earlier run installed; on a
    # developer's machine the installed package is theirs to keep.
    [ "${CI:-}" = true ] || fail "kivo95 is installed already; remove it first"
    step "removing the kivo95 an earlier run left installed"
    DEBIAN_FRONTEND=noninteractive apt-get remove -y -q kivo95
fi
work=$(mktemp -d)
wizard_pid=""
cleanup() {
    [ -n "$wizard_pid" ] && kill "$wizard_pid" 2>/dev/null && wait "$wizard_pid" 2>/dev/null
    if dpkg-query -W -f='${Status}' kivo95 2>/dev/null | grep -q "install ok installed"; then
        DEBIAN_FRONTEND=noninteractive apt-get remove -y -q kivo95 >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

step "apt-get install $deb"
DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$deb"
dpkg-query -L kivo95 | sort >"$work/files"
for f in /usr/bin/kivo95 /usr/bin/initkivo /usr/bin/kivo-reg /usr/libexec/kivo95/kivo-pppd-guard \
         /usr/share/kivo95/strings/rnaapp.strings \
         "/usr/share/applications/$APP_ID.desktop" "/usr/share/metainfo/$APP_ID.metainfo.xml" \
         /usr/share/man/man1/kivo95.1.gz /usr/share/man/man1/kivo-reg.1.gz /usr/share/man/man1/initkivo.1.gz \
         /usr/share/man/de/man1/kivo95.1.gz /usr/share/man/de/man1/kivo-reg.1.gz \
         /usr/share/man/de/man1/initkivo.1.gz /usr/share/doc/kivo95/copyright \
         /usr/share/dbus-1/interfaces/org.kivo95.Wizard1.xml \
         "/usr/share/icons/hicolor/16x16/apps/$APP_ID.png" "/usr/share/icons/hicolor/32x32/apps/$APP_ID.png" \
         "/usr/share/icons/hicolor/48x48/apps/$APP_ID.png" "/usr/share/icons/hicolor/scalable/apps/$APP_ID.svg"; do
    grep -qxF "$f" "$work/files" || fail "the package does not install $f"
    [ -s "$f" ] || fail "$f is missing or empty after installing"
done
desktop-file-validate "/usr/share/applications/$APP_ID.desktop" || fail "installed desktop entry"
appstreamcli validate --no-net "/usr/share/metainfo/$APP_ID.metainfo.xml" || fail "installed metainfo"
for size in 16 32 48; do
    file "/usr/share/icons/hicolor/${size}x${size}/apps/$APP_ID.png" | grep -q "PNG image data, $size x $size" \
        || fail "the ${size}x${size} icon is not a $size x $size PNG"
done
man -w kivo95 >/dev/null || fail "man kivo95 finds no page"
[ "$(man -L de -w kivo95)" = /usr/share/man/de/man1/kivo95.1.gz ] || fail "man -L de kivo95 finds no German page"

# ---- start it as the menu does ----------------------------------------------
# The menu runs the desktop entry's Exec line in the user's home directory;
# the wizard writes its installation file there through initkivo.
home="$work/home"
mkdir -p "$home" "$work/run"
chmod 700 "$work/run"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_RUNTIME_DIR="$work/run"
export KIVO95_REGISTRY="$work/registry.db" KIVO95_RAS=sim KIVO95_SOUND=null KIVO95_DIALUP_WINDOWS=0
export QT_QPA_PLATFORM=offscreen
# Not the session bus of whoever runs the check: the wizard would take its
# name there. Without one it runs without D-Bus control.
export DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus"
unset KIVO95_STRINGS KIVO95_TRACE
read -r -a exec_argv < <(sed -n 's/^Exec=//p' "/usr/share/applications/$APP_ID.desktop" | sed 's/ %[fFuUick]//g')
[ "$(command -v "${exec_argv[0]}")" = /usr/bin/kivo95 ] || fail "Exec= does not start /usr/bin/kivo95"

step "starting ${exec_argv[*]} in $home"
(cd "$home" && exec timeout 12 "${exec_argv[@]}" >"$work/wizard.log" 2>&1) &
wizard_pid=$!
# Wait (bounded, on the file system's clock) for initkivo's file to appear.
for _ in $(seq 50); do
    [ -s "$home/kivoinfo.pdt" ] && break
    kill -0 "$wizard_pid" 2>/dev/null || break
    sleep 0.1
done
[ -s "$home/kivoinfo.pdt" ] || { cat "$work/wizard.log" >&2; fail "the wizard did not write kivoinfo.pdt through initkivo"; }

step "a second start brings the first forward and exits"
second_rc=0
(cd "$home" && timeout 10 "${exec_argv[@]}") >"$work/second.log" 2>&1 || second_rc=$?
[ "$second_rc" -eq 0 ] || { cat "$work/second.log" >&2; fail "the second start exited with $second_rc"; }
kill -0 "$wizard_pid" 2>/dev/null || fail "the first wizard ended when the second started"

step "kivo95 --status asks the running wizard"
status_rc=0
(cd "$home" && timeout 10 /usr/bin/kivo95 --status) >"$work/status.log" 2>&1 || status_rc=$?
cat "$work/status.log"
[ "$status_rc" -eq 0 ] || fail "kivo95 --status exited with $status_rc while a wizard runs"

rc=0
wait "$wizard_pid" || rc=$?
wizard_pid=""
[ "$rc" -eq 124 ] || { cat "$work/wizard.log" >&2; fail "the wizard exited with $rc before the timeout (124 expected)"; }

step "kivo-reg query $APP_KEY"
/usr/bin/kivo-reg query "$APP_KEY" >"$work/query.txt" || fail "kivo-reg query failed"
cat "$work/query.txt"
grep -q PDTCaption "$work/query.txt" || fail "the application key lacks PDTCaption"
grep -q "$(head -n1 "$home/kivoinfo.pdt")" "$work/query.txt" || fail "PDTCaption differs from kivoinfo.pdt"

# ---- remove ------------------------------------------------------------------
step "apt-get remove kivo95"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -q kivo95
if dpkg-query -W -f='${Status}' kivo95 2>/dev/null | grep -q installed; then
    fail "kivo95 is still known to dpkg: $(dpkg-query -W -f='${Status}' kivo95)"
fi
left=""
while read -r f; do
    # Shared directories (/usr/share/man/man1, ...) belong to other packages too.
    if [ -e "$f" ] && [ ! -d "$f" ]; then left+=" $f"; fi
done <"$work/files"
[ -d /usr/share/kivo95 ] && left+=" /usr/share/kivo95"
[ -d /usr/libexec/kivo95 ] && left+=" /usr/libexec/kivo95"
[ -z "$left" ] || fail "left behind after apt-get remove:$left"
step "OK"
