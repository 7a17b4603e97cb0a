# Sourced by the scripts in tools/: installs the Debian packages the build needs when any of them
# is missing (apt-get; through sudo when not root), and builds the Release configuration the one
# way tools/run and tools/ci both use.
ACCEL3_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-svg-dev libqcustomplot-dev libsimpleini-dev
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
  libusb-1.0-0-dev
  qt6-translations-l10n fonts-dejavu-core
  dpkg-dev desktop-file-utils appstream
  clang-14 libclang-rt-14-dev
  ccache
)

# accel3_install_deps [EXTRA_PACKAGE ...]
accel3_install_deps() {
  local missing=()
  local p
  for p in "${ACCEL3_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ ${#missing[@]} -eq 0 ]; then
    return 0
  fi
  echo "Installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# The compiler cache is shared by every checkout of the project on this machine: paths below
# the checkout are hashed relative to it.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-1}"

# The Release build tools/run starts: every target, the benchmarks included.
accel3_build_release() {
  local root
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DACCEL3_TESTS=OFF
  cmake --build "$root/build/release"
}
