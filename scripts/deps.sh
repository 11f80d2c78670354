# Installs the Debian packages named as arguments when any of them is missing.
# Sourced by run.sh and test.sh; safe to call more than once.
ensure_packages() {
  local missing=()
  local pkg
  for pkg in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}" >&2
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi
  # A fresh machine has no package lists yet.
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q >&2
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}

# Packages every build needs.
SHELVARA_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config zlib1g-dev libpng-dev libjpeg-dev libgif-dev libzip-dev libdeflate-dev libcpp-httplib-dev libssl-dev libbrotli-dev)
# The desktop program.
SHELVARA_GUI_PACKAGES=(qt6-base-dev qt6-translations-l10n libgl-dev fonts-liberation2 fonts-dejavu-core)
SHELVARA_TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev clang-format libxml2-dev dpkg-dev lintian desktop-file-utils appstream file bash-completion libxml2-utils groff-base)
