#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Kestrava needs.
# Idempotent: packages already present are left alone, and apt is only asked
# when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  libpcap-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  # running Kestrava.exe on Linux and its end-to-end tests
  wine wine64 fonts-wine fonts-ipafont-gothic locales
  xvfb xdotool imagemagick x11-utils
  # live-capture tests in network namespaces: the namespaces, a DNS responder
  # and an HTTP server (python3), pings, reference captures; hyperfine times
  # the offline analyser beside tcpdump and GNU time measures its memory
  iproute2 iputils-ping python3 tcpdump hyperfine time
  # offers frames at a chosen rate for the capture measurement (tests/bench)
  tcpreplay
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done

if [ "$(id -u)" -ne 0 ]; then
  SUDO=sudo
else
  SUDO=
fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}" >&2
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
fi

# Wine takes its ANSI code page (932) from a Japanese locale, which Debian does
# not generate by default.
if ! locale -a 2>/dev/null | grep -i '^ja_JP\.utf-\?8$' >/dev/null; then
  echo "install-deps: generating the ja_JP.UTF-8 locale" >&2
  if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen; then
    echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  fi
  $SUDO locale-gen >&2
fi
