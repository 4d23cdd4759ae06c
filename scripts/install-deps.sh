#!/usr/bin/env bash
# Installs the Debian packages the build needs, when they are missing.
set -euo pipefail
packages=(g++ cmake make liblapack-dev libblas-dev libopenblas-serial-dev libgtest-dev libgmock-dev libbenchmark-dev
          librsvg2-bin libxml2-utils
          pybind11-dev python3-dev python3-numpy python3-scipy python3-scikit-rf python3-matplotlib
          python3-pytest)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Install them with: sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "Installing ${missing[*]} ..."
export DEBIAN_FRONTEND=noninteractive
apt-get update -q </dev/null
apt-get install -y -q "${missing[@]}" </dev/null
