#!/usr/bin/env bash
# Sets up, builds, runs and tests Vocatext on Debian 12.
#
#   ./vocatext.sh run            install what is missing, build, start Vocatext
#   ./vocatext.sh test           install what is missing, build, run the whole test suite
#   ./vocatext.sh test --sanitize   the same, built with AddressSanitizer and UBSan
#   ./vocatext.sh build          install what is missing and build only
#   ./vocatext.sh package        install what is missing, build build/vocatext_<version>_<arch>.deb
set -euo pipefail
cd "$(dirname "$0")"

RUNTIME_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libespeak-ng-dev espeak-ng-data espeak-ng
  lame libzip-dev fonts-liberation flite1-dev libsoxr-dev
)
PACKAGE_PACKAGES=(dpkg-dev)
TEST_PACKAGES=(dpkg-dev libgtest-dev libgmock-dev xvfb xauth sox libsox-fmt-mp3 parallel procps)

install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
}

build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j"$(nproc)"
}

command=${1:-run}
case "$command" in
  run)
    install_packages "${RUNTIME_PACKAGES[@]}"
    build build -DVOCATEXT_BUILD_TESTS=OFF
    exec build/bin/vocatext
    ;;
  build)
    install_packages "${RUNTIME_PACKAGES[@]}"
    build build -DVOCATEXT_BUILD_TESTS=OFF
    ;;
  package)
    install_packages "${RUNTIME_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
    build build -DVOCATEXT_BUILD_TESTS=OFF -DVOCATEXT_BUILD_BENCH=OFF
    (cd build && cpack -G DEB)
    ls build/vocatext_*.deb
    ;;
  test)
    install_packages "${RUNTIME_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    if [ "${2:-}" = "--sanitize" ]; then
      build build-sanitize -DVOCATEXT_SANITIZE=ON -DVOCATEXT_BUILD_BENCH=OFF
      ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)"
    else
      build build -DVOCATEXT_BUILD_TESTS=ON -DVOCATEXT_WERROR=ON
      ctest --test-dir build --output-on-failure -j"$(nproc)"
    fi
    ;;
  *)
    echo "usage: $0 run | build | package | test [--sanitize]" >&2
    exit 2
    ;;
esac
