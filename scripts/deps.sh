# Installs the Debian packages Rockvane needs when any is missing (sourced by run.sh
# and test.sh). Uses apt-get as root, or through sudo.
ROCKVANE_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev libsqlite3-dev
    libgtest-dev libgmock-dev tzdata
    libxlsxwriter-dev unzip
    libqcustomplot-dev
    libpq-dev postgresql
    dpkg-dev file desktop-file-utils
)

rockvane_install_deps() {
    local missing=()
    local p
    for p in "${ROCKVANE_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "These packages are missing and this user cannot install them: ${missing[*]}" >&2
            echo "Run this script as root, or install them with apt-get." >&2
            return 1
        fi
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

rockvane_jobs() {
    nproc 2>/dev/null || echo 2
}
