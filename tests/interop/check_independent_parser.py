#!/usr/bin/python3
"""Checks `swfharvex info --json` against an independent SWF parser on movies made by other tools.

Movies come from ffmpeg's swf muxer (FLV1 and MJPEG video, MP3 sound; always FWS) and from
FreeHEP's SWF writer (FWS, or CWS from version 6 on). Every movie of version 6 or later is also
checked in its other form: FWS movies deflated to CWS, CWS movies inflated to FWS, with the
signature byte changed and the version and length field kept, which is all that distinguishes
the two forms. Each form is read by swfharvex and by yaswfp (python3-yaswfp), and the two must
agree on version, file length, frame size in pixels, frame rate, frame count and compression.
With --dissecta, dissecta's tag list must also match yaswfp's: the same tag codes with the same
lengths in the same order, sprites' own tags included (End tags aside, which yaswfp drops).

Exit codes: 0 all agree, 1 a disagreement or a failing step, 77 a needed tool is missing.
Work files live in a temporary folder that is removed at the end.
"""

import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import zlib

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))
FREEHEP_JARS = [
    "/usr/share/java/freehep-graphicsio-swf.jar",
    "/usr/share/java/freehep-io.jar",
    "/usr/share/java/freehep-graphicsbase.jar",
]

# (name, ffmpeg input and codec options, frame size asked for or None when ffmpeg picks it)
FFMPEG_MOVIES = [
    ("ffmpeg-flv1-321x199-29.97fps",
     ["-f", "lavfi", "-i", "testsrc=size=321x199:rate=30000/1001", "-t", "1", "-c:v", "flv1"],
     (321, 199)),
    ("ffmpeg-flv1-17x9-12.5fps",
     ["-f", "lavfi", "-i", "testsrc=size=17x9:rate=25/2", "-t", "2", "-c:v", "flv1"],
     (17, 9)),
    ("ffmpeg-flv1-mp3-1023x767-23.976fps",
     ["-f", "lavfi", "-i", "testsrc=size=1023x767:rate=24000/1001",
      "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100",
      "-t", "1", "-c:v", "flv1", "-c:a", "libmp3lame"],
     (1023, 767)),
    ("ffmpeg-flv1-1920x1080-60fps",
     ["-f", "lavfi", "-i", "testsrc=size=1920x1080:rate=60", "-t", "0.5", "-c:v", "flv1"],
     (1920, 1080)),
    # Version 4 movies, so FWS only. ffmpeg leaves the frame count of an MJPEG movie at 0 and,
    # without video, keeps placeholder length and count fields; both readers must still report
    # what the header says.
    ("ffmpeg-mjpeg-320x240-25fps",
     ["-f", "lavfi", "-i", "testsrc=size=320x240:rate=25", "-t", "1", "-c:v", "mjpeg"],
     (320, 240)),
    ("ffmpeg-mp3-only",
     ["-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050", "-t", "1",
      "-c:a", "libmp3lame"],
     None),
]

# (name, version, width, height, frames per second, frames, compress)
# FreeHEP writes the length field as if the frame RECT always took 9 bytes, which holds only
# when the larger side is 410 to 1638 pixels; outside that its length field is off by one and
# yaswfp rightly refuses the CWS form, so its movies stay inside that range.
FREEHEP_MOVIES = [
    ("freehep-v10-640x480-29.97fps", 10, 640, 480, "29.97", 7, True),
    ("freehep-v7-1024x768-23.976fps", 7, 1024, 768, "23.976", 48, True),
    ("freehep-v6-1637x411-0.5fps", 6, 1637, 411, "0.5", 1, True),
    # Largest rate and frame count the 16-bit fields hold.
    ("freehep-v9-999x1-max", 9, 999, 1, "255.99609375", 65535, True),
    ("freehep-v8-800x600-120fps", 8, 800, 600, "120", 300, False),
    # FreeHEP compresses only from version 6 on, so this one comes out FWS.
    ("freehep-v5-411x333-12.5fps", 5, 411, 333, "12.5", 3, True),
]

FIELDS = ["version", "fileLength", "frameWidth", "frameHeight", "frameRate", "frameCount",
          "compressed"]


class Failure(Exception):
    pass


def missing_tools():
    missing = []
    try:
        import yaswfp.swfparser  # noqa: F401
    except ImportError:
        missing.append("python3-yaswfp (for " + sys.executable + ")")
    for tool, package in (("ffmpeg", "ffmpeg"), ("java", "a JDK"), ("javac", "a JDK")):
        if shutil.which(tool) is None:
            missing.append(f"{tool} ({package})")
    missing += [jar for jar in FREEHEP_JARS if not os.path.isfile(jar)]
    return missing


def run(cmd, **kwargs):
    proc = subprocess.run(cmd, stdin=subprocess.DEVNULL, capture_output=True, text=True,
                          timeout=120, **kwargs)
    if proc.returncode != 0:
        raise Failure(f"{cmd[0]} exited {proc.returncode}: {proc.stderr.strip()[-2000:]}")
    return proc.stdout


def make_ffmpeg_movies(work):
    made = []
    for name, options, size in FFMPEG_MOVIES:
        path = os.path.join(work, name + ".swf")
        run(["ffmpeg", "-nostdin", "-hide_banner", "-v", "error", "-y", *options,
             "-f", "swf", path])
        made.append((name, "ffmpeg", path, size))
    return made


def make_freehep_movies(work):
    movie_args = []
    made = []
    for name, version, width, height, rate, frames, compress in FREEHEP_MOVIES:
        path = os.path.join(work, name + ".swf")
        movie_args.append(
            f"{path}:{version}:{width}:{height}:{rate}:{frames}:{str(compress).lower()}")
        made.append((name, "FreeHEP", path, (width, height)))
    # user.home keeps any Java preferences inside the work folder.
    run(["java", f"-Duser.home={work}", "-Djava.awt.headless=true",
         "-cp", ":".join(FREEHEP_JARS), os.path.join(HERE, "FreehepMovies.java"), *movie_args],
        cwd=work)
    return made


def other_form(data):
    """The same movie in the other form; version and length field stay as they are."""
    if data[:3] == b"FWS":
        return b"CWS" + data[3:8] + zlib.compress(data[8:], 9)
    if data[:3] == b"CWS":
        return b"FWS" + data[3:8] + zlib.decompress(data[8:])
    raise Failure(f"not a SWF movie: signature {data[:3]!r}")


def both_forms(movies):
    """(label, path, expected pixel size) for each movie as made and, from version 6 on,
    in its other form."""
    forms = []
    for name, maker, path, size in movies:
        with open(path, "rb") as f:
            data = f.read()
        native = data[:3].decode("latin-1")
        forms.append((f"{name}.swf [{maker}, {native} as made]", path, size))
        if data[3] >= 6:  # players inflate CWS only from version 6 on
            converted = other_form(data)
            other = converted[:3].decode("latin-1")
            other_path = os.path.join(os.path.dirname(path), f"{name}.{other.lower()}.swf")
            with open(other_path, "wb") as f:
                f.write(converted)
            forms.append((f"{name}.{other.lower()}.swf [{maker}, {other} by zlib]",
                           other_path, size))
    return forms


def yaswfp_facts(path):
    from yaswfp import swfparser

    with open(path, "rb") as f:
        header = swfparser.SWFParser(f).header
    xmin, xmax, ymin, ymax = header.FrameSize
    # yaswfp reads the RECT fields unsigned, which equals their signed value only for
    # coordinates that are not negative; every movie here starts at the origin.
    if xmin != 0 or ymin != 0:
        raise Failure(f"frame RECT does not start at 0,0: {header.FrameSize}")
    return {
        "version": header.Version,
        "fileLength": header.FileLength,
        "frameWidth": (xmax - xmin) // 20,
        "frameHeight": (ymax - ymin) // 20,
        "frameRate": header.FrameRate / 256,  # yaswfp gives the raw 8.8 fixed-point value
        "frameCount": header.FrameCount,
        "compressed": header.Signature == "CWS",
    }


def yaswfp_tags(path):
    """(code, length) of every tag yaswfp reads, in file order, sprites' own tags after their
    sprite. yaswfp keeps no tag lengths, so they are taken where it guards each tag's read."""
    from yaswfp import helpers, swfparser

    names = {name: code for code, name in swfparser.TAG_NAMES.items()}
    guarded = []

    class Recording(helpers.ReadQuantityController):
        def __init__(self, src, should):
            super().__init__(src, should)
            guarded.append(should)

    original = swfparser.ReadQuantityController
    swfparser.ReadQuantityController = Recording
    try:
        with open(path, "rb") as f:
            tags = swfparser.SWFParser(f).tags
    finally:
        swfparser.ReadQuantityController = original
    lengths = iter(guarded)
    rows = []

    def walk(tags):
        for tag in tags:
            name = tag.name
            if name.startswith("UnspecifiedObject(tag="):
                code = int(name[len("UnspecifiedObject(tag="):-1])
            else:
                code = names[name]
            # Tags it has no reader for are not guarded; their bytes are kept whole instead.
            handled = type(tag).__name__ != "UnknownObject"
            rows.append((code, next(lengths) if handled else len(tag.raw_payload)))
            walk(getattr(tag, "ControlTags", []) or [])

    walk(tags)
    return rows


def dissecta_tags(dissecta, path):
    proc = subprocess.run([dissecta, "--json", path], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=120)
    if proc.returncode != 0:
        raise Failure(f"dissecta exited {proc.returncode}: {proc.stderr.strip()[-2000:]}")
    report = json.loads(proc.stdout)
    listed = [(t["code"], t["length"]) for t in report["tags"] if t["code"] != 0]
    return listed, report.get("tagsLeftOut", 0) > 0


def compare_tags(theirs, listed):
    ours, cut = listed
    # A report that stops its list at its bound must list the file's first tags.
    if cut and len(ours) < len(theirs):
        theirs = theirs[:len(ours)]
    if theirs == ours:
        return []
    for i, (a, b) in enumerate(zip(theirs, ours)):
        if a != b:
            return [f"tag {i}: dissecta (code, length) {b}, yaswfp {a}"]
    return [f"dissecta lists {len(ours)} tags, yaswfp {len(theirs)}"]


def swfharvex_facts(swfharvex, paths):
    proc = subprocess.run([swfharvex, "info", "--json", *paths], stdin=subprocess.DEVNULL,
                          capture_output=True, text=True, timeout=120)
    try:
        results = json.loads(proc.stdout)
    except json.JSONDecodeError as e:
        raise Failure(f"swfharvex (exit {proc.returncode}) printed no JSON array ({e}); "
                      f"stderr: {proc.stderr.strip()[-2000:]}")
    if not isinstance(results, list) or len(results) != len(paths):
        raise Failure(f"swfharvex gave {len(results) if isinstance(results, list) else 'no'} "
                      f"results for {len(paths)} files")
    by_path = {r.get("path"): r for r in results}
    missing = [p for p in paths if p not in by_path]
    if missing:
        raise Failure(f"swfharvex results lack paths {missing}")
    return by_path


def compare(size, theirs, ours):
    """Lines that describe every disagreement for one movie; empty when they agree."""
    if not ours.get("ok"):
        return [f"swfharvex failed: {ours.get('error')!r}; yaswfp read {theirs}"]
    problems = []
    for field in FIELDS:
        if field not in ours:
            problems.append(f"{field}: missing from swfharvex's JSON")
        # bool is an int in Python, so 1 would pass for true without this.
        elif ours[field] != theirs[field] or (
                isinstance(theirs[field], bool) != isinstance(ours[field], bool)):
            problems.append(f"{field}: swfharvex {ours[field]!r}, yaswfp {theirs[field]!r}")
    if "frameRate" in ours and not isinstance(ours["frameRate"], float):
        problems.append(f"frameRate: {ours['frameRate']!r} is not a JSON real")
    if size is not None and (theirs["frameWidth"], theirs["frameHeight"]) != size:
        problems.append(f"the maker wrote {theirs['frameWidth']}x{theirs['frameHeight']} "
                        f"instead of the {size[0]}x{size[1]} asked for")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--swfharvex", required=True, help="the swfharvex executable")
    parser.add_argument("--dissecta", help="also compare dissecta's tag lists")
    args = parser.parse_args()

    missing = missing_tools()
    if missing:
        print("SKIPPED: missing " + ", ".join(missing))
        return SKIP
    if not os.access(args.swfharvex, os.X_OK):
        print(f"FAILED: no swfharvex at {args.swfharvex}")
        return 1

    work = tempfile.mkdtemp(prefix="swfharvex-interop-")
    try:
        forms = both_forms(make_ffmpeg_movies(work) + make_freehep_movies(work))
        ours_by_path = swfharvex_facts(args.swfharvex, [path for _, path, _ in forms])
        disagreeing = 0
        for label, path, size in forms:
            try:
                theirs = yaswfp_facts(path)
            except Exception as e:  # yaswfp refusing a movie is a finding, not a crash
                problems = [f"yaswfp could not read it: {type(e).__name__}: {e}"]
            else:
                problems = compare(size, theirs, ours_by_path[path])
                if args.dissecta:
                    try:
                        tags = yaswfp_tags(path)
                    except Exception as e:  # as above
                        problems.append(f"yaswfp could not read its tags: "
                                        f"{type(e).__name__}: {e}")
                    else:
                        problems += compare_tags(tags, dissecta_tags(args.dissecta, path))
                        theirs["tags"] = len(tags)
            if problems:
                disagreeing += 1
                print(f"DIFFER {label}")
                for problem in problems:
                    print(f"         {problem}")
            else:
                print(f"agree  {label}: version {theirs['version']}, "
                      f"length {theirs['fileLength']}, "
                      f"{theirs['frameWidth']}x{theirs['frameHeight']} px, "
                      f"{theirs['frameRate']!r} fps, {theirs['frameCount']} frames"
                      + (f", {theirs['tags']} tags" if "tags" in theirs else ""))
        print(f"interop: {len(forms) - disagreeing} movies agree, {disagreeing} differ")
        return 1 if disagreeing else 0
    except (Failure, subprocess.TimeoutExpired, OSError) as e:
        print(f"FAILED: {e}")
        return 1
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
