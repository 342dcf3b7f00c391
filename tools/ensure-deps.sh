# Sourced by ./run, ./test and ./bench: installs the Debian packages the build needs when missing.
# Usage: dtv_ensure_packages pkg...

dtv_sudo() {
    if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi
}

dtv_ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing missing packages: ${missing[*]}"
        dtv_sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive dtv_sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Two monospace font families: the widget tests run under each (see cmake/DtvTargets.cmake).
DTV_BUILD_PACKAGES=(cmake g++ make qtbase5-dev qttools5-dev-tools fonts-dejavu-core fonts-noto-mono)
