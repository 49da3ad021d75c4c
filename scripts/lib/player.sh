# The movie player the desktop's pages use: Ruffle from npm, pinned, installed into the build
# folder of the command that serves it (`BUILD/player`, where the command looks by default).
# shellcheck shell=bash

PLAYER_PACKAGE=@ruffle-rs/ruffle
PLAYER_VERSION=0.6.0

# ensure_player <build dir>: 0 when the pinned player is there (installed now or before).
ensure_player() {
    npm_install_pinned "$1/player" "$PLAYER_PACKAGE" "$PLAYER_VERSION"
}
