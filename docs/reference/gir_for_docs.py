#!/usr/bin/env python3
"""Checks that the introspection data documents the whole public interface,
and writes the copy of it that the reference is generated from.

gi-docgen's own check finds types, functions, macros, enumeration members,
parameters, return values, properties and signals without documentation.
This adds what it does not look at:

- every field of a public record or class (the parent record, the first
  field of an instance or class record, excepted), class slots included;
- every virtual method of a class or interface;
- every function the shared library exports: a documented function of the
  introspection data, or the type function of a documented type (a function
  the scanner could not read would otherwise be missing silently);
- every macro of the public headers: documented in the introspection data,
  or one of the GObject type and cast macros that each class's description
  names.

The copy differs from the scanner's file only for its readers: every
documented member of an enumeration or flags type also shows its number
(and, for registered types, its registered name and nick); every type's
description names its GType macro, its cast and check macros and its
g_autoptr() cleanup, as the headers define them; the DocBook links of the
generated D-Bus binding's comments become plain text; and placeholders
such as <path> in the text are kept from being taken for HTML.

    gir_for_docs.py <Velmora-1.0.gir> <output.gir> <libvelmora_common.so> <nm>
                    <public header>...
"""
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

NAMESPACES = {
    "": "http://www.gtk.org/introspection/core/1.0",
    "c": "http://www.gtk.org/introspection/c/1.0",
    "glib": "http://www.gtk.org/introspection/glib/1.0",
}


def q(prefix, name):
    return "{%s}%s" % (NAMESPACES[prefix], name)


def documented(node):
    doc = node.find(q("", "doc"))
    return doc is not None and (doc.text or "").strip() != ""


def where(node):
    position = node.find(q("", "source-position"))
    if position is None:
        return ""
    return " (%s:%s)" % (position.get("filename"), position.get("line"))


def undocumented_fields(namespace):
    errors = []
    for kind in ("record", "class", "union"):
        for node in namespace.findall(q("", kind)):
            if node.get("disguised") == "1" or node.get("opaque") == "1":
                continue
            fields = node.findall(q("", "field"))
            # The parent record comes first in instance and class records.
            is_instance_or_class = kind == "class" or node.get(q("glib", "is-gtype-struct-for"))
            for position, field in enumerate(fields):
                if field.get("private") == "1" or (position == 0 and is_instance_or_class):
                    continue
                if not documented(field):
                    errors.append("field %s.%s is not documented%s" % (node.get("name"), field.get("name"),
                                                                      where(node)))
    return errors


def undocumented_virtual_methods(namespace):
    errors = []
    for kind in ("class", "interface"):
        for node in namespace.findall(q("", kind)):
            for vfunc in node.findall(q("", "virtual-method")):
                if not documented(vfunc):
                    errors.append("virtual method %s.%s is not documented%s"
                                  % (node.get("name"), vfunc.get("name"), where(node)))
    return errors


def documented_symbols(namespace):
    """C names of the documented callables and the type functions of the
    documented types."""
    symbols = set()
    for node in namespace.iter():
        tag = node.tag.split("}")[1]
        if tag in ("function", "method", "constructor") and documented(node):
            symbols.add(node.get(q("c", "identifier")))
        get_type = node.get(q("glib", "get-type"))
        if get_type and documented(node):
            symbols.add(get_type)
    return symbols


def undocumented_exports(namespace, library, nm):
    listing = subprocess.run([nm, "-D", "--defined-only", library], check=True, capture_output=True,
                             text=True).stdout
    exported = set()
    for line in listing.splitlines():
        fields = line.split()  # address, kind, name
        if len(fields) == 3 and fields[1] == "T":
            exported.add(fields[2].split("@")[0])  # without its version node
    missing = sorted(exported - documented_symbols(namespace))
    return ["exported function %s is not documented" % name for name in missing]


# The GObject macros of each class: its type, cast and check macros.
BOILERPLATE = re.compile(r"\b(G_TYPE_CHECK_INSTANCE_CAST|G_TYPE_CHECK_CLASS_CAST|G_TYPE_CHECK_INSTANCE_TYPE|"
                         r"G_TYPE_CHECK_CLASS_TYPE|G_TYPE_INSTANCE_GET_CLASS|G_TYPE_INSTANCE_GET_INTERFACE)\b|"
                         r"^\(\s*\w+_get_type\s*\(\)\s*\)$")


def header_macros(path):
    text = open(path, encoding="utf-8").read()
    text = re.sub(r"\\\n", " ", text)
    for match in re.finditer(r"^#define\s+(\w+)(\([^)]*\))?[ \t]*(.*)$", text, flags=re.M):
        yield match.group(1), match.group(3).strip()


def undocumented_macros(namespace, headers):
    names = set()
    for node in namespace.iter():
        tag = node.tag.split("}")[1]
        if tag in ("constant", "function-macro") and documented(node):
            names.add(node.get(q("c", "type")) or node.get(q("c", "identifier")))
    errors = []
    for header in headers:
        for name, body in header_macros(header):
            if re.search(r"_H_*$", name) and body == "" or name == "PTZ_API":
                continue  # include guards; the export mark of ptz_export.h
            if name in names or BOILERPLATE.search(body):
                continue
            errors.append("macro %s of %s is not documented" % (name, header))
    return errors


def describe_members(namespace):
    """Adds each documented member's number, and its registered name and
    nick, to its documentation."""
    for kind in ("enumeration", "bitfield"):
        for node in namespace.findall(q("", kind)):
            registered = node.get(q("glib", "get-type")) is not None
            for member in node.findall(q("", "member")):
                doc = member.find(q("", "doc"))
                if doc is None:
                    continue
                value = int(member.get("value"))
                number = "0x%X" % (value & 0xFFFFFFFF) if kind == "bitfield" else "%d" % value
                facts = "Value %s" % number
                if registered and member.get(q("glib", "nick")) is not None:
                    facts += '; registered as "%s", nick "%s"' % (member.get(q("glib", "name")),
                                                                  member.get(q("glib", "nick")))
                doc.text = "%s\n\n%s." % (doc.text.rstrip(), facts)


def describe_types(namespace, headers):
    """Adds to each type's description the macros and cleanup the headers
    define for it."""
    macros = dict(item for header in headers for item in header_macros(header))
    text = "".join(open(header, encoding="utf-8").read() for header in headers)
    cleanups = dict(re.findall(r"G_DEFINE_AUTOPTR_CLEANUP_FUNC\s*\((\w+),\s*(\w+)\)", text))
    type_macros = {}
    for name, body in macros.items():
        match = re.match(r"^\(\s*(\w+_get_type)\s*\(\)\s*\)$", body)
        if match:
            type_macros[match.group(1)] = name
    for node in namespace:
        c_type = node.get(q("c", "type"))
        doc = node.find(q("", "doc"))
        if c_type is None or doc is None:
            continue
        facts = []
        type_macro = type_macros.get(node.get(q("glib", "get-type")))
        if type_macro:
            facts.append('`%s` gives its #GType, registered as "%s" on the first call of %s() (from any '
                         'thread).' % (type_macro, node.get(q("glib", "type-name")), node.get(q("glib", "get-type"))))
            casts = sorted("`%s()`" % name for name, body in macros.items()
                           if BOILERPLATE.search(body) and re.search(r"\b%s\b" % type_macro, body))
            if casts:
                facts.append("Its cast and check macros: %s." % ", ".join(casts))
        if c_type in cleanups:
            facts.append("`g_autoptr(%s)` releases it with %s() at the end of its scope."
                         % (c_type, cleanups[c_type]))
        if facts:
            doc.text = "%s\n\n%s" % (doc.text.rstrip(), " ".join(facts))


DOCBOOK_LINK = re.compile(r"<link linkend=\"[^\"]*\">(.*?)</link>", flags=re.S)


def plain_links(namespace):
    for doc in namespace.iter(q("", "doc")):
        if doc.text and "<link" in doc.text:
            doc.text = DOCBOOK_LINK.sub(r"`\1`", doc.text)


def escape_placeholders(namespace):
    """Outside code spans, "<" and ">" are text (placeholders like <path>),
    not HTML."""
    for doc in namespace.iter(q("", "doc")):
        if not doc.text or "<" not in doc.text:
            continue
        pieces = re.split(r"(`[^`]*`)", doc.text)
        doc.text = "".join(piece if piece.startswith("`") else
                           piece.replace("<", "&lt;").replace(">", "&gt;") for piece in pieces)


def main(scanned, output, library, nm, *headers):
    for prefix, uri in NAMESPACES.items():
        ET.register_namespace(prefix, uri)
    tree = ET.parse(scanned)
    namespace = tree.getroot().find(q("", "namespace"))
    errors = (undocumented_fields(namespace) + undocumented_virtual_methods(namespace)
              + undocumented_exports(namespace, library, nm) + undocumented_macros(namespace, headers))
    if errors:
        sys.exit("gir_for_docs.py: %d undocumented:\n  %s" % (len(errors), "\n  ".join(errors)))
    describe_members(namespace)
    describe_types(namespace, headers)
    plain_links(namespace)
    escape_placeholders(namespace)
    tree.write(output, encoding="UTF-8", xml_declaration=True)


if __name__ == "__main__":
    if len(sys.argv) < 6:
        sys.exit(__doc__)
    main(*sys.argv[1:])
