# Sourced by the other scripts: installs the Debian packages they need when missing.
# As root the packages are installed with apt-get; otherwise the exact command is shown.

ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -eq 0 ]; then
        echo "Installing: ${missing[*]}"
        export DEBIAN_FRONTEND=noninteractive
        apt-get update -qq
        apt-get install -y -qq --no-install-recommends "${missing[@]}"
    else
        echo "Missing packages. Install them with:" >&2
        echo "  sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
}

BUILD_PACKAGES=(build-essential cmake ninja-build pkg-config qt6-base-dev libarchive-dev libsodium-dev
    fonts-liberation)

# The Windows build: mingw-w64 (POSIX threads), the host Qt tools of the same Qt version as
# the Windows kit, and wine with its fonts to run the programs and tests.
WINDOWS_PACKAGES=(gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    qt6-base-dev-tools wine wine64 fonts-wine)
