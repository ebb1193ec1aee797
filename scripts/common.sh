# Shared by the build, run and test scripts: package installation and Xvfb.

BUILD_PACKAGES="cmake g++ make pkg-config gettext libgtk2.0-dev libiniparser-dev libx11-dev libiso9660-dev libseccomp-dev"
RUN_PACKAGES="xdg-utils genisoimage"
TEST_PACKAGES="libxtst-dev libgtest-dev xvfb xauth fuse3 libfuse3-dev genisoimage"
FUZZ_PACKAGES="clang-14 libclang-rt-14-dev"
BENCH_PACKAGES="fuse3 libfuse3-dev genisoimage"

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

# Starts a private Xvfb on a display number the server picks itself and
# exports DISPLAY; it is stopped when the calling script exits, after any exit
# trap the caller had set.
start_xvfb() {
    local fifo
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/discwren-xvfb.XXXXXX")
    mkfifo "$fifo"
    # -displayfd writes the number once the server accepts connections.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    XVFB_PID=$!
    # The caller's exit trap, if any, runs after the server is stopped.
    local previous=":"
    eval "set -- $(trap -p EXIT)"
    [ $# -ge 3 ] && previous=$3
    trap "kill $XVFB_PID 2>/dev/null; $previous" EXIT
    local number=""
    read -r number <"$fifo" || true
    rm -f "$fifo"
    [ -n "$number" ] || { echo "Xvfb did not start" >&2; return 1; }
    export DISPLAY=":$number"
}

# The test build under a private Xvfb, as the test and screenshot scripts use it.
build_tests() {
    install_missing $BUILD_PACKAGES $TEST_PACKAGES
    start_xvfb
    build "$ROOT/build-test" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDISCWREN_TESTS=ON
}
