#!/bin/sh
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
# shellcheck disable=SC2086
$sudo apt-get install -y -q --no-install-recommends $missing
