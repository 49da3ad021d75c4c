# The end-to-end step: Debian's Chromium driven by a pinned playwright-core, against the
# renderer's stand-in server and, when the command has its desktop mode, the real desktop.
# shellcheck shell=bash

E2E_PLAYWRIGHT_VERSION=1.65.2
E2E_CHROMIUM=/usr/bin/chromium

# run_e2e <swfharvex command>: 0 when every case passed.
run_e2e() {
    local command="$1"
    local modules="$ROOT/build/e2e/node_modules"
    local artifacts="$ROOT/build/test/e2e-artifacts"

    # Installing may end a shell: a subshell keeps the step's failure to the step.
    if ! (ensure_packages chromium); then
        say "end-to-end: Debian's chromium could not be installed (see above): no case ran"
        return 1
    fi
    if ! npm_install_pinned "$ROOT/build/e2e" playwright-core "$E2E_PLAYWRIGHT_VERSION"; then
        say "end-to-end: playwright-core could not be installed (see above): no case ran"
        return 1
    fi

    # The pages' cases play movies: the player goes where the command looks for it.
    if ! ensure_player "$(dirname "$(dirname "$command")")"; then
        say "end-to-end: the movie player could not be installed (see above): no case ran"
        return 1
    fi

    # Until the command serves the desktop, only the renderer's own cases can run.
    local real=()
    if [ -x "$command" ] && "$command" --help 2>&1 | grep -qF 'SWFHarvex desktop:'; then
        # The movies the desktop's cases catch are written by the build's own movie tool.
        real=(--swfharvex "$command" --swfmovie "$(dirname "$(dirname "$command")")/tools/swfmovie/swfmovie")
    else
        say "end-to-end: $command does not serve the desktop yet: the desktop cases are SKIPPED," \
            "the renderer's cases run against the stand-in server"
    fi
    rm -rf "$artifacts"
    say "end-to-end: running (screenshots in ${artifacts#"$ROOT"/})"
    local status=0
    timeout 240 node "$ROOT/tests/e2e/run.mjs" --modules "$modules" --chromium "$E2E_CHROMIUM" \
        --artifacts "$artifacts" "${real[@]}" || status=$?
    [ "$status" -ne 124 ] || say "end-to-end: stopped after 240 s"
    return "$status"
}
