#!/usr/bin/env python3
"""Writes a guide page from its template, replacing each line
"{{ include <path> }}" with the file at <path> (relative to the project's
folder) as a block of C code, so the page shows the sources as they are
built and tested.

    include_sources.py <template> <output.md> <project folder>
"""
import os
import re
import sys


def main(template, output, project):
    lines = []
    for line in open(template, encoding="utf-8"):
        match = re.match(r"^\{\{ include (\S+) \}\}$", line.strip())
        if match is None:
            lines.append(line)
            continue
        source = open(os.path.join(project, match.group(1)), encoding="utf-8").read()
        lines.append("```c\n%s```\n" % source)
    with open(output, "w", encoding="utf-8") as out:
        out.write("".join(lines))


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
