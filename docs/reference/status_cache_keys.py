#!/usr/bin/env python3
"""Writes the reference's page "Status-cache keys": every value of every
status-cache group, with its key, type and size, as the library itself
answers them. Each group's parameters are asked with
ptz_status_cache_param_info(), every answer is checked against
ptz_status_cache_key_info(), and the C names come from the introspection
data, so the page cannot drift from the library's table.

Runs the built library through GObject Introspection: GI_TYPELIB_PATH and
LD_LIBRARY_PATH must lead to it.

    status_cache_keys.py <Velmora-1.0.gir> <output.md>
"""
import sys
import xml.etree.ElementTree as ET

import gi

gi.require_version("Velmora", "1.0")
from gi.repository import Velmora  # noqa: E402

CORE = "{http://www.gtk.org/introspection/core/1.0}"
C_IDENTIFIER = "{http://www.gtk.org/introspection/c/1.0}identifier"
GLIB_NAME = "{http://www.gtk.org/introspection/glib/1.0}name"

# The C variable each value type is read into and written from.
C_TYPES = {
    "PTZ_STATUS_CACHE_VALUE_INT": "`gint32`",
    "PTZ_STATUS_CACHE_VALUE_FLOAT": "`gfloat`",
    "PTZ_STATUS_CACHE_VALUE_TIMEVAL": "`guint32[2]`: seconds, microseconds",
    "PTZ_STATUS_CACHE_VALUE_TIMESPEC": "`struct timespec`: seconds, nanoseconds",
}

INTRODUCTION = """Title: Status-cache keys

Every value a status-cache group holds, as this library publishes and reads
it: the #PTZSCParam to give ptz_status_cache_add_param(), the key it has in
the group, the type of the value (a #PTZStatusCacheValueType) with the C
variable to point at, and its size in bytes. The library answers the same
at run time: ptz_status_cache_param_info() from a parameter,
ptz_status_cache_key_info() from a key. This page is generated from the
library's own table when the reference is built.

The Preset group (%PTZ_SC_GROUP_PRESET) holds no values this library
publishes.
"""


def members(root, name):
    """[(C identifier, value, registered name)] of an enumeration of the GIR."""
    namespace = root.find(CORE + "namespace")
    for node in namespace.findall(CORE + "enumeration"):
        if node.get("name") == name:
            return [(m.get(C_IDENTIFIER), int(m.get("value")), m.get(GLIB_NAME))
                    for m in node.findall(CORE + "member")]
    sys.exit("status_cache_keys.py: no enumeration %s in the introspection data" % name)


def main(gir, output):
    root = ET.parse(gir).getroot()
    params = dict((value, identifier) for identifier, value, _ in members(root, "SCParam"))
    types = dict((value, identifier) for identifier, value, _ in members(root, "StatusCacheValueType"))
    lines = [INTRODUCTION]
    for group_identifier, group, group_name in members(root, "SCGroup"):
        rows = []
        # One past the highest registered parameter: the table may hold values
        # without enumerator (58, the Various group's overview mode).
        for param in range(max(params) + 2):
            try:
                found, key, value_type, size = Velmora.status_cache_param_info(Velmora.SCGroup(group), param)
            except ValueError:
                # Not held: the type output is left as it was, 0, which
                # PyGObject refuses to turn into a value type.
                continue
            if not found:
                continue
            back = [int(item) for item in Velmora.status_cache_key_info(key)]
            if back != [True, group, param, int(value_type), size]:
                sys.exit("status_cache_keys.py: key %s answers %s, not group %d, parameter %d"
                         % (key, back, group, param))
            type_identifier = types[int(value_type)]
            name = "`%s`" % params[param] if param in params else "(no enumerator)"
            rows.append("| %s | %d | `%s` | `%s` (%s) | %d |"
                        % (name, param, key, type_identifier, C_TYPES[type_identifier], size))
        if not rows:
            continue
        lines.append("## %s group\n" % group_name)
        lines.append("`%s`, %d values.\n" % (group_identifier, len(rows)))
        lines.append("| Parameter | Value | Key | Type | Size |")
        lines.append("|---|---|---|---|---|")
        lines.extend(rows)
        lines.append("")
    with open(output, "w", encoding="utf-8") as out:
        out.write("\n".join(lines))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(*sys.argv[1:])
