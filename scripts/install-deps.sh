#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the main job need, when missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config ccache
  zlib1g-dev libminizip-dev libsqlite3-dev libssl-dev libpq-dev
  googletest libgtest-dev libbenchmark-dev
  qt6-base-dev
  tinyproxy unzip curl openssl coreutils binutils cron dbus-daemon
  rsync time apache2-utils restic rclone eatmydata
  python3-aiosmtpd prometheus postgresql-15 haproxy
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
