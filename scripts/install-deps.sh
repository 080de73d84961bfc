#!/usr/bin/env bash
# Installs the Debian packages ZQExtensionKit needs to build, test, benchmark
# and fuzz. Does nothing when everything is present; needs root only when
# something is missing.
set -euo pipefail

packages=(
  nlohmann-json3-dev  # JSON parsing inside base/json
  libssl-dev          # OpenSSL 3 libcrypto: AES, MD5, random bytes
  openssl             # tests encrypt a config.json with `openssl enc`
  libgtest-dev        # unit tests
  libgmock-dev        # unit tests (matchers, mocks)
  libbenchmark-dev    # benchmarks
  cmake
  ninja-build
  g++
  clang               # second compiler, libFuzzer
  libclang-rt-dev     # sanitizer and libFuzzer runtimes for clang
  pkgconf             # a test builds a host with the installed SDK's .pc file
  valgrind            # a test runs the demo under memcheck
  graphviz            # zqext graph --svg and make demo draw installations with dot
  doxygen             # make docs: the API reference
  lintian             # make test-package checks the Debian packages
  dpkg-dev            # dpkg-shlibdeps: the Debian packages' dependencies
)

missing=()
for pkg in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all dependencies are present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    SUDO=sudo
  else
    echo "install-deps: root is needed to install ${missing[*]}; run this script as root" >&2
    exit 1
  fi
else
  SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
