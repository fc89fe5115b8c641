# Shared by run.sh and test.sh: install what is missing, then configure and build.
# Sourced, not run; the caller sets -eu.

# Debian packages the build, the content and the tests need.
TARNWICK_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libglfw3-dev libglew-dev libgl1-mesa-dev libgl1-mesa-dri
  libassimp-dev libdevil-dev libopenal-dev libmpg123-dev libmp3lame-dev
  libgtest-dev libbenchmark-dev
  libegl-dev libpng-dev ffmpeg
  xvfb xauth
  xdotool libx11-dev
  clang libclang-rt-dev
)

install_missing_packages() {
  local missing=()
  local pkg
  for pkg in "${TARNWICK_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

build_project() {
  local build_dir="$1"
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$TARNWICK_ROOT" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
  cmake --build "$build_dir" --parallel "$(nproc)"
}
