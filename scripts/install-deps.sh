#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# With package names as arguments, installs those instead (without the
# packages they merely recommend). Without arguments it also installs the
# glTF validator the tests use (npm, pinned by tests/gltf/package-lock.json).
# Slurm and munge are for the farm test, which starts its own one-node
# cluster and stops it again; installing them starts no daemon the tests use.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config binutils
  libtiff-dev nlohmann-json3-dev libcli11-dev libassimp-dev libpng-dev libgif-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev
  libglu1-mesa-dev libgtest-dev libgmock-dev libbenchmark-dev libfreetype-dev fonts-dejavu-core
  libcpp-httplib-dev chromium
  slurmctld slurmd slurm-client munge)
# The import library's own test models: real files of every format the tool
# reads, for the importer tests and the fuzzers' seeds.
packages+=(assimp-testmodels)
# kurvo view's page is built with npm (three.js from the lockfile); a node
# installed another way (with its own npm) is kept.
if ! command -v npm >/dev/null; then packages+=(nodejs npm); fi
extra=()
if (($#)); then
  packages=("$@")
  extra=(--no-install-recommends)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${extra[@]}" "${missing[@]}"
fi

if ((! $#)); then
  root="$(cd "$(dirname "$0")/.." && pwd)"
  if ! command -v npm >/dev/null; then
    "$0" nodejs npm
  fi
  if [ ! -d "$root/tests/gltf/node_modules/gltf-validator" ]; then
    echo "Installing the glTF validator (npm ci in tests/gltf)"
    npm ci --prefix "$root/tests/gltf" --no-audit --no-fund --loglevel=error
  fi
fi
