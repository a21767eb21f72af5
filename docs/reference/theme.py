#!/usr/bin/env python3
"""Copies gi-docgen's "basic" theme into <output folder>/basic, correcting
the C names it shows: it names a class's class record after the namespace
("struct VelmoraSocketClass") instead of its C type (PTZSocketClass).
Fails when the templates no longer hold what is corrected.

Run it with the Python that runs gi-docgen.

    theme.py <output folder>
"""
import os
import shutil
import sys

import gidocgen

CORRECTIONS = {
    "class.html": ("struct {{ namespace.name}}{{ class.class_name }} {",
                   "struct {{ class.class_ctype }} {"),
    "interface.html": ("struct {{ namespace.name}}{{ interface.class_name }} {",
                       "struct {{ interface.class_struct.ctype }} {"),
}


def main(output):
    source = os.path.join(os.path.dirname(gidocgen.__file__), "templates", "basic")
    theme = os.path.join(output, "basic")
    shutil.rmtree(theme, ignore_errors=True)
    shutil.copytree(source, theme)
    for name, (wrong, right) in CORRECTIONS.items():
        path = os.path.join(theme, name)
        text = open(path, encoding="utf-8").read()
        if wrong not in text:
            sys.exit("theme.py: %s no longer holds %r" % (path, wrong))
        open(path, "w", encoding="utf-8").write(text.replace(wrong, right))


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(sys.argv[1])
