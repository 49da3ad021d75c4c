# Shared by the README's commands: package installation and the CMake builds.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

# What building and running the command needs on Debian 12 (librsvg2-bin renders the bundle's
# icon from its drawing; cpp-httplib serves the desktop; chromium runs the pages' scripts).
RUN_PACKAGES=(cmake ninja-build g++ pkg-config zlib1g-dev libcli11-dev nlohmann-json3-dev
    libcurl4-openssl-dev libgumbo-dev librsvg2-bin libcpp-httplib-dev chromium libssl-dev
    libsqlite3-dev libhiredis-dev)
# What the tests and benchmarks need on top (icnsutils reads the bundle's icon back; GNU time
# measures the benchmarks' peak memory; clang-format and clang-tidy check the code; redis-server
# holds the shared frontier the tests run against). The second
# line is for checking the parser against an independent one (yaswfp) on movies made by other
# tools (ffmpeg, FreeHEP's SWF writer).
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev icnsutils time clang-format clang-tidy
    python3-yaswfp ffmpeg openjdk-17-jdk-headless libfreehep-graphicsio-swf-java
    libfreehep-io-java libfreehep-graphicsbase-java python3-protego redis-server)

say() { printf 'swfharvex: %s\n' "$*" >&2; }

# Installs the packages that are missing; says nothing and touches no network when none are.
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { say "need root (or sudo) to install: ${missing[*]}"; exit 1; }
        sudo=(sudo)
    fi
    say "installing ${missing[*]}"
    local log
    log=$(mktemp)
    if ! { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
           "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
               apt-get install -y -qq --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        say "could not install: ${missing[*]}"
        exit 1
    fi
    rm -f "$log"
}

# follow_build <log> <label>: copies a build's output (stdin) into <log> and shows how far it is
# from ninja's "[N/M]" lines: on one line rewritten in place on a terminal, otherwise a line every
# 30 seconds, so that a long first build never looks like a hang.
follow_build() {
    local log="$1" label="$2" line progress="" last_said=$SECONDS tty=0
    [ -t 2 ] && tty=1
    exec 3>"$log"
    while IFS= read -r line; do
        printf '%s\n' "$line" >&3
        [[ "$line" =~ ^\[([0-9]+)/([0-9]+)\] ]] || continue
        progress="${BASH_REMATCH[1]} of ${BASH_REMATCH[2]} steps"
        if [ "$tty" -eq 1 ]; then
            printf '\rswfharvex: %s: %s\033[K' "$label" "$progress" >&2
        elif [ $((SECONDS - last_said)) -ge 30 ]; then
            say "$label: $progress"
            last_said=$SECONDS
        fi
    done
    exec 3>&-
    [ "$tty" -eq 0 ] || printf '\r\033[K' >&2
}

# configure_and_build <build dir> <cmake options...>
# Build output goes to a log beside the build; the progress is shown as it goes, and the log only
# when the build fails. With BUILD_TARGETS set (names separated by spaces), only those are built.
configure_and_build() {
    local dir="$1"
    shift
    local log="$dir.log"
    local label="building ${dir#"$ROOT"/}"
    local targets=()
    # shellcheck disable=SC2206 # the names are split on purpose
    [ -z "${BUILD_TARGETS:-}" ] || targets=(--target $BUILD_TARGETS)
    mkdir -p "$(dirname "$dir")"
    say "$label (log: ${log#"$ROOT"/})"
    # The build's own status decides, whatever pipefail and errexit say.
    if { cmake -S "$ROOT" -B "$dir" -G Ninja "$@" && cmake --build "$dir" "${targets[@]}"; } 2>&1 |
        follow_build "$log" "$label"
        [ "${PIPESTATUS[0]}" -ne 0 ]; then
        cat "$log" >&2
        say "build failed in $dir (log: $log)"
        return 1
    fi
}

# timed <label> <command...>: runs the command and records how long it took, for step_times.
STEP_TIMES=()
timed() {
    local label="$1" start=$SECONDS status=0
    shift
    "$@" || status=$?
    STEP_TIMES+=("$(printf '%-34s %3d:%02d' "$label" $(((SECONDS - start) / 60)) $(((SECONDS - start) % 60)))")
    return "$status"
}

# step_times: what each timed step took, so that the next slowdown is seen.
step_times() {
    [ ${#STEP_TIMES[@]} -gt 0 ] || return 0
    say "time of each step:"
    printf '  %s\n' "${STEP_TIMES[@]}" >&2
}

# configure_and_check <build dir> <cmake options...>: configure_and_build for the builds that
# check the code (tests, fuzzing, CI), where warnings are errors. A user's build (scripts/run)
# keeps them as warnings, so a compiler's false warning cannot stop it.
configure_and_check() {
    local dir="$1"
    shift
    configure_and_build "$dir" -DSWFHARVEX_WERROR=ON "$@"
}

# npm_install_pinned <prefix> <package> <version>: 0 when that version of the package is in
# <prefix>/node_modules (installed now or before); installs node and npm first when missing.
npm_install_pinned() {
    local prefix="$1" package="$2" version="$3" installed log
    installed=$(node -p "require('$prefix/node_modules/$package/package.json').version" 2>/dev/null)
    [ "$installed" != "$version" ] || return 0
    if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
        # Installing may end a shell: a subshell keeps the failure to the caller.
        if ! (ensure_packages nodejs npm); then
            say "node and npm could not be installed (see above)"
            return 1
        fi
    fi
    say "installing $package $version into ${prefix#"$ROOT"/}"
    log=$(mktemp)
    mkdir -p "$prefix"
    if ! npm install --prefix "$prefix" --no-audit --no-fund --save-exact \
        "$package@$version" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        say "npm could not install $package $version"
        return 1
    fi
    rm -f "$log"
}

# install_dissecta <build dir>: puts the built companion application where the plug-in's string
# table looks for it ("Menu : DissectaApp Path", "~/" being the home folder), replacing an older
# copy only once the new one is complete.
install_dissecta() {
    local built="$1/apps/Dissecta.app"
    local path
    path=$(sed -n 's/^"Menu : DissectaApp Path" = "\(.*\)";$/\1/p' \
        "$ROOT/src/resources/LocalStrings.strings")
    case "$path" in "~/"*) path="$HOME/${path#"~/"}" ;; esac
    if [ -z "$path" ] || [ ! -x "$built/AppRun" ]; then
        say "no companion to install (looked for $built)"
        return 1
    fi
    say "installing the companion Dissecta into $path"
    mkdir -p "$(dirname "$path")" &&
        rm -rf "$path.new" && cp -a "$built" "$path.new" &&
        rm -rf "$path" && mv "$path.new" "$path"
}
