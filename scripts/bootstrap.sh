#!/bin/sh
# SPDX-FileCopyrightText: 2026 KIVO95 Wizard developers
# SPDX-License-Identifier: GPL-3.0-or-later
#
# Installs the Debian packages listed in scripts/packages.txt that are not
# installed yet (as root, or through sudo). Does nothing when all are there.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
missing=""
for p in $(grep -v -E '^\s*(#|$)' "$here/packages.txt"); do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
[ -z "$missing" ] && exit 0
echo "bootstrap: installing:$missing"
if [ "$(id -u)" -eq 0 ]; then sudo=""; else sudo="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
# Packages such as network-manager start their daemon on installation where
# the machine lets them. Our tests start the daemons they need themselves, in
# namespaces and on buses of their own; the machine's own network must not be
# taken over. While installing, service starts are refused unless the machine
# already has a policy of its own.
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | $sudo tee "$policy" >/dev/null
    $sudo chmod 755 "$policy"
    trap '$sudo rm -f "$policy"' EXIT
fi
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
