#!/usr/bin/python3
"""`swfharvex info --json` against an independent SWF parser (yaswfp) over 600 movies.

The movies are the ones the independent-parser check makes with other tools (ffmpeg's swf muxer
and FreeHEP's SWF writer, each in both forms), copied until there are 600 files, plus every file
of --movies when given. yaswfp reads each file in this process (its time alone, no interpreter
start); swfharvex reads all of them in one process, timed whole, start included. Prints the best
of --runs for each and the ratio. Needs what the check needs (python3-yaswfp, ffmpeg, a JDK,
FreeHEP); exits 77 without them.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests",
                                "interop"))
import check_independent_parser as interop  # noqa: E402


def corpus(work, count, extra):
    made = interop.both_forms(interop.make_ffmpeg_movies(work) + interop.make_freehep_movies(work))
    sources = [path for _, path, _ in made] + extra
    paths = []
    for i in range(count):
        source = sources[i % len(sources)]
        path = os.path.join(work, f"copy-{i:04}-{os.path.basename(source)}")
        shutil.copyfile(source, path)
        paths.append(path)
    return paths


def best_of(runs, work):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        work()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--swfharvex", required=True, help="the swfharvex executable")
    parser.add_argument("--movies", help="a folder of further movies to include")
    parser.add_argument("--count", type=int, default=600)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    missing = interop.missing_tools()
    if missing:
        print("SKIPPED: missing " + ", ".join(missing))
        return 77

    extra = []
    if args.movies:
        extra = [os.path.join(args.movies, name) for name in sorted(os.listdir(args.movies))
                 if name.lower().endswith(".swf")]
    work = tempfile.mkdtemp(prefix="swfharvex-info-bench-")
    try:
        paths = corpus(work, max(args.count, len(extra)), extra)

        def theirs():
            for path in paths:
                try:
                    interop.yaswfp_facts(path)
                except Exception:  # a movie it refuses still cost its reading
                    pass

        def ours():
            subprocess.run([args.swfharvex, "info", "--json", *paths], check=True,
                           stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)

        yaswfp = best_of(args.runs, theirs)
        swfharvex = best_of(args.runs, ours)
        print(f"{len(paths)} movies: yaswfp {yaswfp * 1000:.1f} ms, "
              f"swfharvex info {swfharvex * 1000:.1f} ms (whole process), "
              f"ratio {yaswfp / swfharvex:.0f}")
        return 0
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
