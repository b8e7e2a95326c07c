#!/bin/sh
# Installs the Debian packages given as arguments that are not installed yet
# (CI starts from a bare machine). Does nothing when all are present.
set -eu
missing=""
for pkg in "$@"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing="$missing $pkg"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
echo "ensure_packages: installing$missing"
$SUDO apt-get update
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
