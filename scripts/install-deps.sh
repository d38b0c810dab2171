#!/usr/bin/env bash
# Installs the Debian 12 packages a make target needs: always those to build and run the program,
# and for each group named on the command line its own as well:
#   scripts/install-deps.sh                 build and run (make build, make run)
#   scripts/install-deps.sh test            + the test peers and fixtures (make test, make check)
#   scripts/install-deps.sh bench           + the benchmark libraries and peers (make bench)
#   scripts/install-deps.sh fuzz            + clang and its fuzzer runtime (make fuzz)
#   scripts/install-deps.sh screenshots     + the virtual display (make screenshots)
# Idempotent: quiet and quick when everything is already there.
#
# No service is left enabled or running: some packages (orthanc, among the test peers) start a
# server when installed, which the tests never use (they start their own instances on loopback).
# While packages install, a policy-rc.d keeps init scripts from starting; afterwards every init
# script or systemd unit this run brought is stopped and disabled.
set -euo pipefail

# Group lists, one package a line where a reason is worth giving.
build_packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev
  libgdcm-dev       # the IJG libjpeg 8/12/16-bit builds with the lossless extension
  libopenjp2-7-dev
  qt6-base-dev libgl-dev
)
# What the program needs at run time beside the libraries the build packages bring.
run_packages=(
  fonts-dejavu-extra  # DejaVu Sans Condensed, the chart's face where Tahoma is missing
)
test_packages=(
  libgtest-dev libgmock-dev
  clang-format      # the format rule of scripts/check-rules.py
  sqlite3 libopenjp2-tools poppler-utils
  dcmtk python3 python3-pydicom python3-numpy python3-pil dicom3tools
  orthanc           # a second DICOM peer; installs a service, stopped and disabled below
  locales           # de_DE.UTF-8 for the tests under a decimal-comma locale
)
bench_packages=(
  libbenchmark-dev libdcmtk-dev
  dcmtk python3 python3-pydicom python3-numpy python3-pil sqlite3
)
fuzz_packages=(
  clang libclang-rt-14-dev
)
screenshots_packages=(
  xvfb
)

packages=("${build_packages[@]}" "${run_packages[@]}")
want_comma_locale=false
for group in "$@"; do
  case "$group" in
    test)
      packages+=("${test_packages[@]}")
      want_comma_locale=true
      ;;
    bench) packages+=("${bench_packages[@]}") ;;
    fuzz) packages+=("${fuzz_packages[@]}") ;;
    screenshots) packages+=("${screenshots_packages[@]}") ;;
    *)
      echo "install-deps.sh: unknown group '$group' (test, bench, fuzz, screenshots)" >&2
      exit 2
      ;;
  esac
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# The services a system has: init scripts and systemd units, one a line.
list_services() {
  local path
  for path in /etc/init.d/*; do
    if [ -f "$path" ]; then echo "init:${path##*/}"; fi
  done
  for path in /lib/systemd/system/*.service /usr/lib/systemd/system/*.service; do
    if [ -f "$path" ]; then echo "unit:${path##*/}"; fi
  done | sort -u
}

# Stops and disables one service that the install brought.
quiet_service() {
  local kind=${1%%:*} name=${1#*:}
  if [ "$kind" = unit ]; then
    if [ -d /run/systemd/system ]; then
      "${sudo_cmd[@]}" systemctl disable --now "$name" >/dev/null 2>&1 || true
    elif command -v deb-systemd-helper >/dev/null; then
      "${sudo_cmd[@]}" deb-systemd-helper disable "$name" >/dev/null 2>&1 || true
    fi
  else
    [ -x "/etc/init.d/$name" ] || return 0
    # Called directly, not through invoke-rc.d: a policy-rc.d would deny the stop as well.
    if "/etc/init.d/$name" status >/dev/null 2>&1; then
      "${sudo_cmd[@]}" "/etc/init.d/$name" stop >/dev/null 2>&1 || true
    fi
    "${sudo_cmd[@]}" update-rc.d "$name" disable >/dev/null 2>&1 || true
  fi
  echo "Stopped and disabled the service $name that the install brought"
}

install_missing() {
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  echo "Installing: ${missing[*]}"
  local policy=/usr/sbin/policy-rc.d placed_policy=false
  if [ ! -e "$policy" ]; then
    # 101: "action forbidden", for every init script while the packages install.
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    placed_policy=true
    trap '"${sudo_cmd[@]}" rm -f /usr/sbin/policy-rc.d' EXIT
  fi
  local before
  before=$(list_services)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  local service
  while IFS= read -r service; do
    [ -n "$service" ] && quiet_service "$service"
  done < <(comm -13 <(echo "$before" | sort) <(list_services | sort))
  if $placed_policy; then
    "${sudo_cmd[@]}" rm -f "$policy"
    trap - EXIT
  fi
}

# The tests under a decimal-comma locale need de_DE.UTF-8 generated (they fail without it).
generate_comma_locale() {
  locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$' && return 0
  echo "Generating the locale de_DE.UTF-8"
  "${sudo_cmd[@]}" sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^de_DE\.UTF-8 UTF-8' /etc/locale.gen ||
    echo 'de_DE.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
}

install_missing
if $want_comma_locale; then generate_comma_locale; fi
