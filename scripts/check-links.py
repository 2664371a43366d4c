#!/usr/bin/env python3
"""Checks every relative link between the Markdown pages (README.md, CHANGELOG.md, docs/*.md): the
file it names exists, and a #fragment names a heading of the page it leads to, by GitHub's rule
(lower case, punctuation dropped, spaces as hyphens, a repeated heading numbered -1, -2 ...).
Links to other sites are not followed.
    scripts/check-links.py [FILE.md ...]
Prints each broken link and exits with 1 if there is one."""
import glob
import os
import re
import sys

os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
pages = sys.argv[1:] or ["README.md", "CHANGELOG.md"] + sorted(glob.glob("docs/*.md"))
link = re.compile(r"\[[^\]]*\]\(([^)\s]+)\)")


def lines_outside_code(path):
    fenced = False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if line.startswith("```"):
                fenced = not fenced
            elif not fenced:
                yield number, line


def anchors(path):
    found = set()
    for _, line in lines_outside_code(path):
        heading = re.match(r"#{1,6}\s+(.*?)\s*#*\s*$", line)
        if not heading:
            continue
        slug = re.sub(r"[^\w\- ]", "", heading.group(1).lower()).replace(" ", "-")
        anchor, repeat = slug, 0
        while anchor in found:
            repeat += 1
            anchor = "%s-%d" % (slug, repeat)
        found.add(anchor)
    return found


broken = []
checked = 0
for page in pages:
    for number, line in lines_outside_code(page):
        # Code spans hold examples, not links.
        for target in link.findall(re.sub(r"`[^`]*`", "", line)):
            if re.match(r"[a-z]+:", target):
                continue
            checked += 1
            path, _, fragment = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(page), path)) if path else page
            if not os.path.exists(resolved):
                broken.append("%s:%d: %s: no such file %s" % (page, number, target, resolved))
            elif fragment and (not resolved.endswith(".md") or fragment not in anchors(resolved)):
                broken.append("%s:%d: %s: no heading #%s in %s" % (page, number, target, fragment, resolved))

for problem in broken:
    print(problem)
print("== %d relative links checked in %d pages, %d broken" % (checked, len(pages), len(broken)))
sys.exit(1 if broken else 0)
