#!/usr/bin/env bash
# tidy.sh <build dir>: clang-tidy with the repository's .clang-tidy (every warning an error) on the
# product code (platform, src, frontend, apps, tools), through the build's compile commands, one
# file per core. A file that passed is remembered with the text it passed with (its own, every
# header's, the checks'), so that a second run checks only what changed.
set -euo pipefail
source "$(dirname "$0")/common.sh"

dir="$1"
if ! command -v clang-tidy >/dev/null 2>&1; then
    say "clang-tidy not found: the tidy check is skipped"
    exit 0
fi
[ -f "$dir/compile_commands.json" ] || { say "tidy.sh: no compile commands in $dir"; exit 2; }

cd "$ROOT"
# clang-tidy reads a configuration it cannot parse as none, and then passes every file.
if clang-tidy --list-checks 2>&1 | grep -q "^Error parsing"; then
    clang-tidy --list-checks 2>&1 | grep -B2 "^Error parsing" >&2
    say "tidy.sh: .clang-tidy does not parse"
    exit 2
fi
passed="$dir/tidy-passed"
mkdir -p "$passed"
# Any header or the checks changing makes every file's earlier pass void.
TIDY_CONTEXT=$({
    clang-tidy --version
    cat .clang-tidy
    git ls-files -z '*.h' '*.hpp' | xargs -0 cat
} | sha1sum | cut -c1-40)
export TIDY_CONTEXT TIDY_BUILD="$dir" TIDY_PASSED="$passed"

# check_one <file>: 0 when the file passed now or with this same text before.
check_one() {
    local file="$1" key out
    key=$({ printf '%s\n' "$TIDY_CONTEXT"; cat "$file"; } | sha1sum | cut -c1-40)
    [ ! -e "$TIDY_PASSED/$key" ] || return 0
    if out=$(clang-tidy -p "$TIDY_BUILD" --quiet "$file" 2>&1); then
        : >"$TIDY_PASSED/$key"
    else
        printf '%s\n' "$out" | grep -v -E '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' >&2
        return 1
    fi
}
export -f check_one

files=()
while IFS= read -r -d '' file; do
    files+=("$file")
done < <(git ls-files -z 'platform/*.cpp' 'src/*.cpp' 'frontend/*.cpp' 'apps/*.cpp' 'archive/*.cpp' 'tools/*.cpp')
say "clang-tidy on ${#files[@]} files of the product code"
if ! printf '%s\0' "${files[@]}" | xargs -0 -n 1 -P "$(nproc)" bash -c 'check_one "$0"'; then
    say "clang-tidy found faults (above)"
    exit 1
fi
