#!/usr/bin/env python3
"""The library from Python, through GObject Introspection (PyGObject).

Lists the framework's vocabulary, reads the simulated driver's configuration
file with the library's loaders, asks the driver for its name and
parameters over the command channel, moves the head and watches its
position in the status cache until it arrives, then queries the position
over the channel as well.

    ptz_tour.py --config DRIVER.CONF [--pan DEG] [--tilt DEG] [--zoom MAG]

The driver (examples/ptz_sim_driver) must be running with that
configuration. The library is found through GI_TYPELIB_PATH (the directory
of Velmora-1.0.typelib) and the loader's search path (LD_LIBRARY_PATH when
it is not installed in a system directory). Payloads follow
examples/ptz_sim_protocol.h: a request is the 32-bit command and its
arguments; a reply is the command, a status (0: ok) and the results.
Angles travel as signed hundredths of a degree, the zoom as hundredths.
Exit status: 0 when every step worked, 1 otherwise.
"""
import argparse
import socket
import sys
import time

import gi

gi.require_version("GLib", "2.0")
gi.require_version("GObject", "2.0")
gi.require_version("Velmora", "1.0")
from gi.repository import GLib, GObject, Velmora  # noqa: E402

GROUP = "PTZSimDriver"
OK = 0


def show_library_line(priority, line, *user_data):
    """The library's error lines (why something failed) on stderr."""
    if priority <= 3:  # LOG_ERR and more severe
        print("library: " + line, file=sys.stderr)
    Velmora.log_default_handler(priority, line, None)


def list_vocabulary():
    """Every enumeration and flags type the library registers, with its
    values, found in the introspection data (looking at the namespace's
    classes would register them, and the D-Bus classes open the bus)."""
    types = []
    for info in gi.Repository.get_default().get_infos("Velmora"):
        if type(info).__name__ == "EnumInfo" and info.get_g_type() != GObject.TYPE_NONE:
            types.append((info.get_g_type().name, getattr(Velmora, info.get_name())))
    print("vocabulary: %d types" % len(types))
    for gtype_name, kind in sorted(types):
        flags = issubclass(kind, GObject.GFlags)
        values = sorted(getattr(kind, "__flags_values__" if flags else "__enum_values__").items())
        nick = (lambda v: v.first_value_nick) if flags else (lambda v: v.value_nick)
        listed = ", ".join("%s=%d" % (nick(value), number) for number, value in values)
        print("  %s (%s, %d): %s" % (gtype_name, "flags" if flags else "enum", len(values), listed))


class Driver:
    """The simulated driver, over the command channel."""

    def __init__(self, socket_path, timeout_s=10.0):
        self.client = Velmora.SocketClientCommand.new(socket_path, -1, socket.SOCK_STREAM)
        # The client connects in the background when the driver is not there yet.
        deadline = time.monotonic() + timeout_s
        while self.client.fd < 0 and time.monotonic() < deadline:
            GLib.MainContext.default().iteration(False)
            time.sleep(0.05)

    def request(self, command, arguments="()", values=(), results="()"):
        """Sends the command with its arguments and decodes the reply's results;
        None when there is no reply or the driver refused."""
        request = Velmora.serialize_variant(GLib.Variant("(u%s)" % arguments[1:-1], (int(command),) + tuple(values)))
        reply = self.client.sync_send_bytes(request)
        if reply is None:
            return None
        head, indx = Velmora.deserialize_variant(reply, 0, GLib.VariantType.new("(uu)"))
        if head is None:
            return None
        answered, status = head.unpack()
        if answered != int(command) or status != OK:
            print("  the driver answered %s with status %d" % (Velmora.Command(answered).value_nick, status))
            return None
        body = ()
        if results != "()":
            body, indx = Velmora.deserialize_variant(reply, indx, GLib.VariantType.new(results))
        if body is None or indx != reply.get_size():
            print("  the reply to %s is not %s" % (Velmora.Command(command).value_nick, results))
            return None
        return body.unpack() if results != "()" else ()


POSITION = [Velmora.SCParam.POSITION_PAN, Velmora.SCParam.POSITION_TILT, Velmora.SCParam.POSITION_MZOOM,
            Velmora.SCParam.POSITION_PAN_STATUS, Velmora.SCParam.POSITION_TILT_STATUS,
            Velmora.SCParam.POSITION_ZOOM_STATUS]


def watch_position(index, target, timeout_s=20.0):
    """Reads the head's position from the status cache until it is idle at
    the target; True when it got there."""
    keys = [Velmora.status_cache_param_info(Velmora.SCGroup.POSITION, int(param))[1] for param in POSITION]
    idle = int(Velmora.MoveStatus.IDLE)
    last = None
    deadline = time.monotonic() + timeout_s
    while time.monotonic() < deadline:
        values = Velmora.status_cache_fetch_values(Velmora.SCGroup.POSITION, index, [int(p) for p in POSITION])
        if values is not None:
            values = values.unpack()
            pan, tilt, zoom = (values[key] for key in keys[:3])
            states = [Velmora.MoveStatus(values[key]).value_nick for key in keys[3:]]
            seen = "pan %7.2f  tilt %6.2f  zoom %5.2f  (%s)" % (pan, tilt, zoom, ", ".join(states))
            if seen != last:
                print("  status cache: " + seen)
                last = seen
            arrived = all(abs(a - b) < 0.01 for a, b in zip((pan, tilt, zoom), target))
            if arrived and all(values[key] == idle for key in keys[3:]):
                return True
        time.sleep(0.05)
    return False


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--config", required=True, help="the driver's configuration file")
    parser.add_argument("--pan", type=float, default=30.0)
    parser.add_argument("--tilt", type=float, default=-10.0)
    parser.add_argument("--zoom", type=float, default=2.5)
    args = parser.parse_args()

    Velmora.log_set_handler(show_library_line, None)
    problem = Velmora.check_version(Velmora.MAJOR_VERSION, Velmora.MINOR_VERSION, Velmora.MICRO_VERSION)
    if problem is not None:
        print(problem, file=sys.stderr)
        return 1
    print("libvelmora_common %d.%d.%d" % (Velmora.get_major_version(), Velmora.get_minor_version(),
                                         Velmora.get_micro_version()))
    list_vocabulary()

    if not Velmora.settings_load_config_gkf_strv([args.config], True):
        return 1
    socket_path = Velmora.settings_get_custom_string(GROUP, "Socket")
    found, index = Velmora.settings_get_custom_int(GROUP, "StatusIndex")
    index = index if found else 0
    print("settings: group %s holds %s" % (GROUP, ", ".join(Velmora.settings_get_custom_group(GROUP))))
    print("settings: socket %s, status-cache index %d" % (socket_path, index))

    driver = Driver(socket_path)
    name = driver.request(Velmora.Command.GET_DRIVER_NAME, results="(s)")
    if name is None:
        return 1
    print("driver name: %s" % name[0])
    parameters = driver.request(Velmora.Command.GET_DRIVER_PARAMETERS, results="(a(usssuus))")
    if parameters is None:
        return 1
    for kind, name, value, range_text, group, writable, text in parameters[0]:
        print("  parameter %-16s %-10s %-9s %s%s" % (name, value, Velmora.ParameterGroup(group).value_nick,
                                                    Velmora.Parameter(kind).value_nick,
                                                    ", writable" if writable else ""))

    target = (args.pan, args.tilt, args.zoom)
    wire = [round(value * 100) for value in target]
    print("move absolute to pan %.2f, tilt %.2f, zoom %.2f" % target)
    if driver.request(Velmora.Command.MOVE, "(uiii)", [int(Velmora.Move.ABSOLUTE)] + wire) is None:
        return 1
    if not watch_position(index, target):
        print("the head did not arrive in time")
        return 1
    position = driver.request(Velmora.Command.QUERY_POSITION, results="(iiiiii)")
    if position is None:
        return 1
    print("query position: pan %.2f, tilt %.2f, zoom %.2f, %s" % (
        position[0] / 100, position[1] / 100, position[2] / 100,
        ", ".join(Velmora.MoveStatus(state).value_nick for state in position[3:])))
    if list(position[:3]) != wire:
        return 1
    print("done")
    return 0


if __name__ == "__main__":
    sys.exit(main())
