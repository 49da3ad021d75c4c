"""Answers, with Protego (an independent robots.txt parser), whether each case's path may be
fetched. Reads [{"robots", "agent", "path"}...] as JSON on standard input, prints [bool...]."""
import json
import sys

from protego import Protego

cases = json.load(sys.stdin)
print(json.dumps([Protego.parse(case["robots"]).can_fetch("http://example.com" + case["path"],
                                                           case["agent"]) for case in cases]))
