#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, and only the missing ones.
# Silent and quick when everything is there. Extra package names may be passed.
set -euo pipefail

packages=(
  cmake ninja-build g++ libgtest-dev        # build and unit tests
  qt6-base-dev libgl-dev                    # the desktop program (Qt 6 Widgets)
  xdg-utils                                 # the desktop's opener (Run in the local pane)
  xvfb xauth                                # a virtual display for screenshots
  clang libclang-rt-14-dev                  # the fuzz targets (libFuzzer, sanitizers)
  libssl-dev                                # TLS (OpenSSL 3)
  python3-pyftpdlib python3-openssl vsftpd  # real FTP servers for the integration tests (TLS too)
  microsocks dante-server ftp-proxy         # real proxies for the integration tests
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}" >&2
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
