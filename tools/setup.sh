# Shared by run.sh and test.sh: install what is missing, then configure and build.
# Sourced, not run; the caller sets -eu.

# Debian packages the build, the content, the tests and every script under
# tools/ need (ImageMagick and the DejaVu fonts: tools/contact_sheet.sh and the
# icon; dpkg-dev and file: cpack's .deb, whose dependencies dpkg-shlibdeps derives;
# help2man: the tools' manual pages, made from their --help).
TARNWICK_PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libglfw3-dev libglew-dev libgl1-mesa-dev libgl1-mesa-dri
  libassimp-dev libdevil-dev libopenal-dev libmpg123-dev libmp3lame-dev
  libgtest-dev libbenchmark-dev
  libegl-dev libpng-dev ffmpeg
  xvfb xauth
  xdotool libx11-dev
  clang libclang-rt-dev
  imagemagick fonts-dejavu-core
  dpkg-dev file help2man
)

# Only for a release, so ./run.sh and ./test.sh go without them: Debian's
# package checker and the AppStream validator (tools/release.sh), and
# headless Chromium for the release page's check (tools/check_page.sh).
TARNWICK_RELEASE_PACKAGES=(lintian appstream)
TARNWICK_PAGE_CHECK_PACKAGES=(chromium-headless-shell)

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

# configure_project DIR [-DNAME=VALUE ...]: configures DIR (RelWithDebInfo
# unless an option says otherwise) when it has no cache yet or when one of the
# given options differs from what its cache holds; otherwise leaves it alone.
configure_project() {
  local build_dir="$1"
  shift
  local configure=0 option name value
  if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    configure=1
  else
    for option in "$@"; do
      name="${option#-D}"
      value="${name#*=}"
      name="${name%%=*}"
      name="${name%%:*}"
      grep -q "^${name}:[A-Z]*=${value}\$" "$build_dir/CMakeCache.txt" || configure=1
    done
  fi
  if [ "$configure" -eq 1 ]; then
    cmake -S "$TARNWICK_ROOT" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  fi
}

# build_project DIR [-DNAME=VALUE ...]: configure_project, then build everything.
build_project() {
  configure_project "$@"
  cmake --build "$1" --parallel "$(nproc)"
}
