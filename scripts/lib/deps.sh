# Installs the Debian packages the build needs, when any is missing.
# Sourced by the other scripts.

SCOUTWIRE_PACKAGES=(
  cmake ninja-build g++ ccache pkg-config
  qt6-base-dev qt6-svg-dev qtkeychain-qt6-dev libboost-regex-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qstat time clang libfuzzer-14-dev libclang-rt-14-dev
  locales libc-l10n
  dbus
)

scoutwire_install_deps() {
  local missing=()
  local p
  for p in "${SCOUTWIRE_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Generates de_DE.UTF-8, the decimal-comma locale the tests also run in,
# when the system lacks it.
scoutwire_comma_locale() {
  locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8' && return 0
  echo "Generating the locale de_DE.UTF-8"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo localedef -i de_DE -f UTF-8 de_DE.UTF-8
}

# Configures and builds one tree: scoutwire_build DIR [cmake options...]
scoutwire_build() {
  local dir=$1
  shift
  export CCACHE_BASEDIR="$PWD"
  # The precompiled headers would otherwise make ccache pass every compile
  # straight to the compiler.
  export CCACHE_SLOPPINESS=pch_defines,time_macros
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}
