#!/usr/bin/env python3
"""Finishes the GIR file that g-ir-scanner wrote, and checks it.

Names the members of the registered enumeration and flags types after their
C enumerators: the scanner names them after the registered nicks and uses
the registered value names as C identifiers, and the framework's nicks and
value names are texts ("set preset", "Set preset"), not identifiers. Each
member's name and c:identifier are rewritten from the enumerator of the same
value in the C header (PTZ_COMMAND_SET_PRESET: "set_preset"); the registered
nick and name stay as glib:nick and glib:name.

Completes the documentation the scanner leaves out: that of the members
renamed so (the scanner matches their comments by the registered names),
of fields that hold a function (class slots) and of virtual methods
documented only by their slot's line. Each is taken from the comment
block of its type in the scanned sources; a slot without a line of its own
takes the first paragraph of its virtual method's documentation.

Fails when an introspectable function takes a pointer to a plain value
without saying whether it is an (out) or (inout) argument or an (array):
the scanner takes such a pointer for a value passed in, and a binding would
hand the function a number where it expects an address.

    fix_gir.py <scanned.gir> <enum header.h> <output.gir> [<scanned source>...]
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

NAMESPACES = {
    "": "http://www.gtk.org/introspection/core/1.0",
    "c": "http://www.gtk.org/introspection/c/1.0",
    "glib": "http://www.gtk.org/introspection/glib/1.0",
}
PLAIN = {"gboolean", "gchar", "gint", "guint", "gint8", "guint8", "gint16", "guint16", "gint32",
         "guint32", "gint64", "guint64", "glong", "gulong", "gsize", "gssize", "gfloat",
         "gdouble", "gpointer", "gconstpointer", "utf8", "filename"}


def qualified(prefix, name):
    return "{%s}%s" % (NAMESPACES[prefix], name)


def header_enums(path):
    """{C type name: {value: [enumerator, ...]}} of every typedef'd enum."""
    text = open(path, encoding="utf-8").read()
    text = re.sub(r"/\*.*?\*/", "", text, flags=re.S)
    enums = {}
    for body, name in re.findall(r"typedef\s+enum\s*\{(.*?)\}\s*(\w+)\s*;", text, flags=re.S):
        values = {}
        for identifier, value in re.findall(r"(\w+)\s*=\s*(-?(?:0[xX][0-9a-fA-F]+|\d+))", body):
            values.setdefault(int(value, 0), []).append(identifier)
        enums[name] = values
    return enums


def name_members(root, enums):
    errors = []
    for kind in ("enumeration", "bitfield"):
        for node in root.iter(qualified("", kind)):
            get_type = node.get(qualified("glib", "get-type"))
            c_type = node.get(qualified("c", "type"))
            if get_type is None or c_type not in enums:
                continue
            prefix = get_type[: -len("_get_type")].upper() + "_"
            for member in node.iter(qualified("", "member")):
                value = int(member.get("value"))
                # Flags values above 2^31 are dumped as negative numbers.
                candidates = enums[c_type].get(value) or enums[c_type].get(value & 0xFFFFFFFF) or []
                if len(candidates) != 1 or not candidates[0].startswith(prefix):
                    errors.append("%s: value %d has enumerators %s" % (c_type, value, candidates))
                    continue
                member.set("name", candidates[0][len(prefix):].lower())
                member.set(qualified("c", "identifier"), candidates[0])
    return errors


def comment_blocks(sources):
    """{symbol: {argument: (text, file, line)}} of the documentation comment
    blocks; files relative to the sources' common folder, as the scanner
    names them."""
    blocks = {}
    top = os.path.commonpath([os.path.abspath(path) for path in sources]) if sources else ""
    for path in sources:
        text = open(path, encoding="utf-8").read()
        name = os.path.relpath(os.path.abspath(path), top)
        for match in re.finditer(r"/\*\*\s*\n(.*?)\*/", text, flags=re.S):
            first_line = text.count("\n", 0, match.start(1)) + 1
            lines = [re.sub(r"^\s*\* ?", "", line) for line in match.group(1).splitlines()]
            # "Symbol:", "Type:property:" or "Type::signal-or-vfunc:", maybe with annotations.
            symbol = re.match(r"^(\w+(?:::?[\w-]+)?):", lines[0]) if lines else None
            if symbol is None:
                continue
            arguments, current = {}, None
            for number, line in enumerate(lines[1:], start=first_line + 1):
                argument = re.match(r"^@(\w+):\s*(.*)$", line)
                if argument:
                    current = argument.group(1)
                    arguments[current] = [argument.group(2), name, number]
                elif current and line.startswith(" ") and line.strip():
                    arguments[current][0] += " " + line.strip()
                else:
                    current = None
            blocks[symbol.group(1)] = {key: tuple(value) for key, value in arguments.items()}
    return blocks


def has_doc(node):
    return node.find(qualified("", "doc")) is not None


def add_doc(node, text, filename, line):
    doc = ET.Element(qualified("", "doc"), {"xml:space": "preserve", "filename": filename, "line": str(line)})
    doc.text = text
    node.insert(0, doc)


def complete_docs(root, blocks):
    namespace = root.find(qualified("", "namespace"))
    records = {node.get("name"): node for node in namespace.findall(qualified("", "record"))}
    for kind in ("enumeration", "bitfield"):
        for node in namespace.findall(qualified("", kind)):
            lines = blocks.get(node.get(qualified("c", "type")), {})
            for member in node.findall(qualified("", "member")):
                found = lines.get(member.get(qualified("c", "identifier")))
                if found and not has_doc(member):
                    add_doc(member, *found)
    vfunc_docs = {}
    for kind in ("class", "interface"):
        for node in namespace.findall(qualified("", kind)):
            struct = records.get(node.get(qualified("glib", "type-struct")))
            lines = blocks.get(struct.get(qualified("c", "type")), {}) if struct is not None else {}
            for vfunc in node.findall(qualified("", "virtual-method")):
                if not has_doc(vfunc) and lines.get(vfunc.get("name")):
                    add_doc(vfunc, *lines[vfunc.get("name")])
                if has_doc(vfunc) and struct is not None:
                    doc = vfunc.find(qualified("", "doc"))
                    vfunc_docs[(struct.get("name"), vfunc.get("name"))] = (
                        doc.text.strip().split("\n\n")[0], doc.get("filename"), doc.get("line"))
    for record in records.values():
        lines = blocks.get(record.get(qualified("c", "type")), {})
        for field in record.findall(qualified("", "field")):
            if has_doc(field) or field.find(qualified("", "callback")) is None:
                continue
            found = lines.get(field.get("name")) or vfunc_docs.get((record.get("name"), field.get("name")))
            if found:
                add_doc(field, *found)


def unannotated_pointers(root):
    """Pointer arguments of introspectable callables that the scanner took
    for values passed in."""
    namespace = root.find(qualified("", "namespace"))
    callables = list(namespace.findall(qualified("", "callback")))
    for kind in ("function", "method", "constructor"):
        callables.extend(namespace.iter(qualified("", kind)))
    errors = []
    for node in callables:
        if node.get("introspectable") == "0":
            continue
        for parameter in node.iter(qualified("", "parameter")):
            kind = parameter.find(qualified("", "type"))
            if parameter.get("direction") or kind is None:
                continue
            c_type = kind.get(qualified("c", "type"), "")
            plain = kind.get("name") in PLAIN and c_type.endswith("*")
            single_string = kind.get("name") in ("utf8", "filename") and c_type.count("*") == 1
            if (plain and not single_string) or c_type.endswith("**"):
                name = node.get(qualified("c", "identifier")) or node.get("name")
                errors.append("%s: argument %s (%s) needs (out), (inout), (array) or (skip)"
                              % (name, parameter.get("name"), c_type))
    return errors


def main(scanned, header, output, *sources):
    for prefix, uri in NAMESPACES.items():
        ET.register_namespace(prefix, uri)
    tree = ET.parse(scanned)
    errors = name_members(tree.getroot(), header_enums(header)) + unannotated_pointers(tree.getroot())
    if errors:
        sys.exit("fix_gir.py:\n  " + "\n  ".join(errors))
    complete_docs(tree.getroot(), comment_blocks(sources))
    tree.write(output, encoding="UTF-8", xml_declaration=True)


if __name__ == "__main__":
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
