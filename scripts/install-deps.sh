#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the benchmarks need.
# Idempotent: only missing packages are installed.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config clang-format
  libsqlite3-dev nlohmann-json3-dev binutils-mingw-w64-x86-64 zlib1g-dev
  python3  # draws the resource library's pictures at build time
  # drawing: stream pages and pictures of windows
  libcairo2-dev libpng-dev libfreetype-dev fonts-dejavu-core
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # real peers the tests check against
  snmpd snmp netpbm libtiff-tools libtiff-dev jbigkit-bin libjbig-dev jbigkit-testdata
  emf2svg libuemf-dev libjpeg-dev
  # text: fonts through FreeType and fontconfig, metric-compatible faces
  libfreetype-dev libfontconfig-dev fonts-liberation2 fonts-dejavu-core fonts-noto-cjk
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
# The tests start their own snmpd on a loopback port; a system-wide one is not wanted.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet snmpd 2>/dev/null; then
  systemctl stop snmpd || true
fi
