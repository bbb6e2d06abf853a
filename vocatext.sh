#!/usr/bin/env bash
# Sets up, builds, runs and tests Vocatext on Debian 12.
#
#   ./vocatext.sh run [--no-start]   install what is missing, build into build/, start Vocatext
#   ./vocatext.sh build              the same build as run, without starting the window
#   ./vocatext.sh test               install what is missing, build into build-test/ (warnings
#                                    are errors), run the whole test suite
#   ./vocatext.sh test --sanitize    the same in build-sanitize/, with AddressSanitizer and UBSan
#   ./vocatext.sh package            install what is missing, build build-package/vocatext_<version>_<arch>.deb
#
# Every command has a build folder of its own and names every option it builds with, so
# no command inherits another's choices, whatever ran before in this clone.
set -euo pipefail
cd "$(dirname "$0")"

RUNTIME_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  libespeak-ng-dev espeak-ng-data espeak-ng
  lame libzip-dev fonts-liberation flite1-dev libsoxr-dev libtag1-dev libgumbo-dev libmd4c-dev libicu-dev libcld2-dev
  libebur128-dev libopusenc-dev
  dpkg-dev
)
PACKAGE_PACKAGES=(dpkg-dev)
# openssh-server, rsync, slurm-wlm and munge for their programs: the cluster tests start
# their own sshd, munged, slurmctld and slurmd on 127.0.0.1.
TEST_PACKAGES=(dpkg-dev libgtest-dev libgmock-dev xvfb xauth sox libsox-fmt-mp3 parallel procps
  dbus at-spi2-core python3-pyatspi xdotool openssh-server openssh-client rsync slurm-wlm munge ffmpeg python3-mutagen epubcheck)

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

# build FOLDER OPTION... : configures with exactly these options and builds.
build() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j"$(nproc)"
}

# What a user runs: the program and the benchmarks, no tests.
build_run() {
  install_packages "${RUNTIME_PACKAGES[@]}"
  build build -DVOCATEXT_BUILD_TESTS=OFF -DVOCATEXT_BUILD_BENCH=ON -DVOCATEXT_WERROR=OFF -DVOCATEXT_SANITIZE=OFF \
    -DVOCATEXT_HARDENING=ON
}

command=${1:-run}
case "$command" in
  run)
    build_run
    [ "${2:-}" = "--no-start" ] && exit 0
    exec build/bin/vocatext
    ;;
  build)
    build_run
    ;;
  package)
    install_packages "${RUNTIME_PACKAGES[@]}" "${PACKAGE_PACKAGES[@]}"
    build build-package -DVOCATEXT_BUILD_TESTS=OFF -DVOCATEXT_BUILD_BENCH=OFF -DVOCATEXT_WERROR=OFF \
      -DVOCATEXT_SANITIZE=OFF -DVOCATEXT_HARDENING=ON
    (cd build-package && cpack -G DEB)
    ls build-package/vocatext_*.deb
    ;;
  test)
    install_packages "${RUNTIME_PACKAGES[@]}" "${TEST_PACKAGES[@]}"
    if [ "${2:-}" = "--sanitize" ]; then
      build build-sanitize -DVOCATEXT_BUILD_TESTS=ON -DVOCATEXT_BUILD_BENCH=OFF -DVOCATEXT_WERROR=OFF \
        -DVOCATEXT_SANITIZE=ON -DVOCATEXT_HARDENING=OFF
      ASAN_OPTIONS=detect_leaks=1 ctest --test-dir build-sanitize --output-on-failure -j"$(nproc)"
    else
      build build-test -DVOCATEXT_BUILD_TESTS=ON -DVOCATEXT_BUILD_BENCH=ON -DVOCATEXT_WERROR=ON \
        -DVOCATEXT_SANITIZE=OFF -DVOCATEXT_HARDENING=ON
      ctest --test-dir build-test --output-on-failure -j"$(nproc)"
    fi
    ;;
  *)
    echo "usage: $0 run [--no-start] | build | package | test [--sanitize]" >&2
    exit 2
    ;;
esac
