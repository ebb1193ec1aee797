# Shared by the build, run and test scripts: package installation and Xvfb.

BUILD_PACKAGES="cmake g++ make pkg-config gettext libgtk2.0-dev libiniparser-dev libx11-dev"
RUN_PACKAGES="xdg-utils"
TEST_PACKAGES="libxtst-dev libgtest-dev xvfb xauth fuse3 libfuse3-dev"
FUZZ_PACKAGES="clang-14 libclang-rt-14-dev"
BENCH_PACKAGES="fuse3 libfuse3-dev"

# Installs the Debian packages that are not installed yet (sudo when not root).
install_missing() {
    local missing=()
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Configures and builds into the given folder; further arguments go to CMake.
build() {
    local dir=$1
    shift
    cmake -S "$ROOT" -B "$dir" "$@"
    cmake --build "$dir" -j "$(nproc)"
}

# Starts a private Xvfb on the first free display and exports DISPLAY; it is
# stopped when the calling script exits.
start_xvfb() {
    local n=90
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x1024x24 -noreset -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    trap 'kill $XVFB_PID 2>/dev/null' EXIT
    for _ in $(seq 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    [ -e "/tmp/.X11-unix/X$n" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$n"
}

# The test build under a private Xvfb, as the test and screenshot scripts use it.
build_tests() {
    install_missing $BUILD_PACKAGES $TEST_PACKAGES
    start_xvfb
    build "$ROOT/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDISCWREN_TESTS=ON
}
