# Installs what the builds need on a fresh Debian machine. Sourced by scripts/run and scripts/test.

# Packages for the native build and its tests.
TESSARWICK_NATIVE_PACKAGES="cmake make g++ googletest libgtest-dev libbenchmark-dev nlohmann-json3-dev"
# Packages for the Windows cross build and its tests under wine.
TESSARWICK_WINDOWS_PACKAGES="g++-mingw-w64-x86-64 wine wine64"
# Tools for the static analysis (the sanitizer pass uses g++'s own runtimes; scripts/fuzz installs clang itself).
TESSARWICK_TOOL_PACKAGES="clang-tidy clang-format cppcheck"

tessarwick_missing_packages() {
  local missing=() package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  echo "${missing[@]}"
}

tessarwick_apt_updated=0
# tessarwick_install PACKAGE... : installs the missing ones; returns non-zero when that fails.
tessarwick_install() {
  local missing
  missing=$(tessarwick_missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "Missing packages: $missing (run as root to install them with apt-get)" >&2
    return 1
  fi
  if [ "$tessarwick_apt_updated" = 0 ]; then
    apt-get update -qq >/dev/null 2>&1 || true
    tessarwick_apt_updated=1
  fi
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null 2>&1 ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null 2>&1
}
