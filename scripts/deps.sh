#!/usr/bin/env bash
# Installs the Debian packages that Corvane needs, when they are missing:
# building the tool needs cmake and g++; --tests adds what the test suite
# needs. Further package names may be given as arguments.
# Usage: scripts/deps.sh [--tests] [PACKAGE...]
set -euo pipefail

packages=(cmake g++)
if [ "${1:-}" = --tests ]; then
  shift
  packages+=(libgtest-dev faketime valgrind)
fi
packages+=("$@")
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
