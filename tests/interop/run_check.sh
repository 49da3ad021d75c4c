#!/bin/sh
# Runs the interop check with Debian's own python3, the one python3-yaswfp installs into
# (a python3 found first on PATH, such as a pyenv one, would not see it).
# Usage: run_check.sh --swfharvex PATH
py=/usr/bin/python3
if [ ! -x "$py" ]; then
    echo "SKIPPED: missing $py (python3)"
    exit 77
fi
exec "$py" "${0%/*}/check_independent_parser.py" "$@"
