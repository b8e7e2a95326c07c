#!/bin/sh
# Installs the Debian packages named on the command line that are not
# installed yet; does nothing (and needs no network) when all are.
#   tools/ensure_packages.sh libnetcdf-dev netcdf-bin python3-netcdf4 python3-xarray
set -eu
missing=""
for p in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "Installing missing packages:$missing"
SUDO=""
[ "$(id -u)" = 0 ] || SUDO=sudo
$SUDO apt-get update
# shellcheck disable=SC2086  # one word per package
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
