#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, but only the missing ones.
# Without root it lists what is missing and stops, so nothing half-configured follows.
set -euo pipefail

packages=(cmake g++ make rapidjson-dev libfmt-dev libexpected-dev googletest libgtest-dev
          libgmock-dev libbenchmark-dev packmol lammps clang-format
          # the run-time libraries of RASPA3 (../shared/raspa3/raspa3 or a raspa3 on PATH)
          libblas64-3 liblapack64-3 ocl-icd-libopencl1)
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "missing Debian packages: ${missing[*]}" >&2
    echo "install them as root: apt-get install -y ${missing[*]}" >&2
    exit 1
fi
echo "installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
