# The movie player the desktop's pages use: Ruffle from npm, pinned, installed into the build
# folder of the command that serves it (`BUILD/player`, where the command looks by default).
# shellcheck shell=bash

PLAYER_PACKAGE=@ruffle-rs/ruffle
PLAYER_VERSION=0.6.0

# ensure_player <build dir>: 0 when the pinned player is there (installed now or before).
ensure_player() {
    local prefix="$1/player"
    local installed
    installed=$(node -p "require('$prefix/node_modules/$PLAYER_PACKAGE/package.json').version" 2>/dev/null)
    [ "$installed" != "$PLAYER_VERSION" ] || return 0
    if ! command -v npm >/dev/null 2>&1 && ! (ensure_packages nodejs npm); then
        say "the movie player: node and npm could not be installed (see above)"
        return 1
    fi
    say "installing the movie player ($PLAYER_PACKAGE $PLAYER_VERSION) into ${prefix#"$ROOT"/}"
    local log
    log=$(mktemp)
    mkdir -p "$prefix"
    if ! npm install --prefix "$prefix" --no-audit --no-fund --save-exact \
        "$PLAYER_PACKAGE@$PLAYER_VERSION" >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        say "the movie player: npm could not install $PLAYER_PACKAGE $PLAYER_VERSION"
        return 1
    fi
    rm -f "$log"
}
