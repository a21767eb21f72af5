/* The framework's vocabulary: every enumeration and flags type shared by the
 * processes of the framework, registered with GObject under fixed names on
 * the first call of its _get_type function (from any thread). The numbers
 * are the contract between processes: never change them. Each type PTZFoo
 * has its GType macro PTZ_TYPE_FOO. */
#ifndef PTZ_ENUM_TYPES_H
#define PTZ_ENUM_TYPES_H

#include <glib-object.h>

#include "ptz_export.h"

G_BEGIN_DECLS

/**
 * PTZCommand:
 * @PTZ_COMMAND_ERROR_REPLY: a reply telling that a command failed
 * @PTZ_COMMAND_SET_PRESET: store the current position as a preset of the framework
 * @PTZ_COMMAND_SET_DEVICE_PRESET: store the current position as a preset of the device
 * @PTZ_COMMAND_GET_DEVICE_PRESETS: list the presets stored in the device
 * @PTZ_COMMAND_GOTO_PRESET: move to a preset of the framework
 * @PTZ_COMMAND_GOTO_DEVICE_PRESET: move to a preset stored in the device
 * @PTZ_COMMAND_MOVE: move, in the mode of a #PTZMove
 * @PTZ_COMMAND_STOP: stop every motion
 * @PTZ_COMMAND_FIELD_ANGLES: ask for the field angles (see #PTZAngle)
 * @PTZ_COMMAND_UNREGISTER: the commanding process leaves the driver
 * @PTZ_COMMAND_AUXILIARY: run an auxiliary function of the device
 * @PTZ_COMMAND_GET_AUXILIARY: list the auxiliary functions of the device
 * @PTZ_COMMAND_OSD_MENU: a key of the on-screen menu (see #PTZOsdMenu)
 * @PTZ_COMMAND_QUERY_SPEED: ask for the current speeds
 * @PTZ_COMMAND_QUERY_POSITION: ask for the current position
 * @PTZ_COMMAND_QUERY_ZOOMDELIM: ask for the zoom delimitations
 * @PTZ_COMMAND_CHANGE_PORT: change the port the device is reached through
 * @PTZ_COMMAND_MOVE_COMMAND: move in a direction (see #PTZMoveCmd)
 * @PTZ_COMMAND_AREA_ZOOM: zoom to an area of the image
 * @PTZ_COMMAND_IMAGE: an image setting
 * @PTZ_COMMAND_DEFAULT_HOME_PRESET: go to, or set, the default home preset
 * @PTZ_COMMAND_QUERY_LIMIT_RANGES: ask for the limits of every axis
 * @PTZ_COMMAND_GET_DRIVER_NAME: ask for the driver's name
 * @PTZ_COMMAND_GET_DEVICE_TYPES: ask for the device types the driver serves
 * @PTZ_COMMAND_GET_CAPABILITIES: ask for the driver's #PTZDriverCapabilities
 * @PTZ_COMMAND_SET_CAPABILITIES: set the driver's #PTZDriverCapabilities
 * @PTZ_COMMAND_GET_DRIVER_PROPERTY: ask for a property of the driver
 * @PTZ_COMMAND_GET_PRESET_POSITION: ask for the position stored in a preset
 * @PTZ_COMMAND_QUERY_ATTRIBUTES: ask for the attributes of the device
 * @PTZ_COMMAND_GET_DRIVER_PARAMETERS: ask for the driver's parameters (see #PTZDriverParameterItem)
 * @PTZ_COMMAND_HOME_PRESET_UPDATED: notice that the home preset changed
 * @PTZ_COMMAND_END_OF_RECORD: marks the end of a sequence of records
 *
 * The commands a commanding process sends to a driver, by convention the first
 * 32-bit value of a command payload (see the payload encoding). Values 29, 30
 * and 31 are not used. %PTZ_COMMAND_GET_DRIVER_PROPERTY is registered with the
 * nick "set driver property", and %PTZ_COMMAND_END_OF_RECORD with the nick "End
 * of record": both are kept exactly so, since other processes look values up by
 * them.
 */
typedef enum {
  PTZ_COMMAND_ERROR_REPLY = -1,
  PTZ_COMMAND_SET_PRESET = 0,
  PTZ_COMMAND_SET_DEVICE_PRESET = 1,
  PTZ_COMMAND_GET_DEVICE_PRESETS = 2,
  PTZ_COMMAND_GOTO_PRESET = 3,
  PTZ_COMMAND_GOTO_DEVICE_PRESET = 4,
  PTZ_COMMAND_MOVE = 5,
  PTZ_COMMAND_STOP = 6,
  PTZ_COMMAND_FIELD_ANGLES = 7,
  PTZ_COMMAND_UNREGISTER = 8,
  PTZ_COMMAND_AUXILIARY = 9,
  PTZ_COMMAND_GET_AUXILIARY = 10,
  PTZ_COMMAND_OSD_MENU = 11,
  PTZ_COMMAND_QUERY_SPEED = 12,
  PTZ_COMMAND_QUERY_POSITION = 13,
  PTZ_COMMAND_QUERY_ZOOMDELIM = 14,
  PTZ_COMMAND_CHANGE_PORT = 15,
  PTZ_COMMAND_MOVE_COMMAND = 16,
  PTZ_COMMAND_AREA_ZOOM = 17,
  PTZ_COMMAND_IMAGE = 18,
  PTZ_COMMAND_DEFAULT_HOME_PRESET = 19,
  PTZ_COMMAND_QUERY_LIMIT_RANGES = 20,
  PTZ_COMMAND_GET_DRIVER_NAME = 21,
  PTZ_COMMAND_GET_DEVICE_TYPES = 22,
  PTZ_COMMAND_GET_CAPABILITIES = 23,
  PTZ_COMMAND_SET_CAPABILITIES = 24,
  PTZ_COMMAND_GET_DRIVER_PROPERTY = 25,
  PTZ_COMMAND_GET_PRESET_POSITION = 26,
  PTZ_COMMAND_QUERY_ATTRIBUTES = 27,
  PTZ_COMMAND_GET_DRIVER_PARAMETERS = 28,
  PTZ_COMMAND_HOME_PRESET_UPDATED = 32,
  PTZ_COMMAND_END_OF_RECORD = 33
} PTZCommand;
PTZ_API GType ptz_command_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_COMMAND (ptz_command_get_type ())

/**
 * SocketCommand:
 * @PTZ_SOCKET_COMMAND_SOCKET_COMMAND_QUEUE: a queued socket command
 * @PTZ_SOCKET_COMMAND_SOCKET_COMMAND_LAST: one past the last socket command
 *
 * Commands of the socket channel itself; the values continue after those of
 * #PTZCommand, and 33 is also %PTZ_COMMAND_END_OF_RECORD.
 */
typedef enum {
  PTZ_SOCKET_COMMAND_SOCKET_COMMAND_QUEUE = 33,
  PTZ_SOCKET_COMMAND_SOCKET_COMMAND_LAST = 34
} SocketCommand;
PTZ_API GType ptz_socket_command_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_SOCKET_COMMAND (ptz_socket_command_get_type ())

/**
 * ProtocolVersion:
 * @PTZ_PROTOCOL_VERSION_PROTOCOL_VERSION_1: the first version
 * @PTZ_PROTOCOL_VERSION_PROTOCOL_VERSION_LAST: one past the last version
 *
 * Versions of the framework's command protocol.
 */
typedef enum {
  PTZ_PROTOCOL_VERSION_PROTOCOL_VERSION_1 = 0,
  PTZ_PROTOCOL_VERSION_PROTOCOL_VERSION_LAST = 1
} ProtocolVersion;
PTZ_API GType ptz_protocol_version_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_PROTOCOL_VERSION (ptz_protocol_version_get_type ())

/**
 * PTZMove:
 * @PTZ_MOVE_NONE: no move
 * @PTZ_MOVE_ABSOLUTE: to an absolute position
 * @PTZ_MOVE_RELATIVE: by an amount from the current position
 * @PTZ_MOVE_CONTINUOUS: at a speed, until stopped
 *
 * How a %PTZ_COMMAND_MOVE moves.
 */
typedef enum {
  PTZ_MOVE_NONE = 0,
  PTZ_MOVE_ABSOLUTE = 1,
  PTZ_MOVE_RELATIVE = 2,
  PTZ_MOVE_CONTINUOUS = 3
} PTZMove;
PTZ_API GType ptz_move_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_MOVE (ptz_move_get_type ())

/**
 * PTZMoveStatus:
 * @PTZ_MOVE_STATUS_INVALID: not known yet
 * @PTZ_MOVE_STATUS_IDLE: not moving
 * @PTZ_MOVE_STATUS_MOVING: moving
 * @PTZ_MOVE_STATUS_UNKNOWN: the device cannot tell
 *
 * The state of one motion (pan, tilt, zoom, iris, focus, brightness), as the
 * status cache publishes it. ptz_status_cache_create_group() starts every
 * status at %PTZ_MOVE_STATUS_INVALID.
 */
typedef enum {
  PTZ_MOVE_STATUS_INVALID = -1,
  PTZ_MOVE_STATUS_IDLE = 0,
  PTZ_MOVE_STATUS_MOVING = 1,
  PTZ_MOVE_STATUS_UNKNOWN = 2
} PTZMoveStatus;
PTZ_API GType ptz_move_status_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_MOVE_STATUS (ptz_move_status_get_type ())

/**
 * PTZMoveCmd:
 * @PTZ_MOVE_CMD_UP: up
 * @PTZ_MOVE_CMD_DOWN: down
 * @PTZ_MOVE_CMD_LEFT: left
 * @PTZ_MOVE_CMD_RIGHT: right
 * @PTZ_MOVE_CMD_UP_LEFT: up and left
 * @PTZ_MOVE_CMD_UP_RIGHT: up and right
 * @PTZ_MOVE_CMD_DOWN_LEFT: down and left
 * @PTZ_MOVE_CMD_DOWN_RIGHT: down and right
 * @PTZ_MOVE_CMD_HOME: to the home position
 * @PTZ_MOVE_CMD_STOP: stop
 *
 * Directions of a %PTZ_COMMAND_MOVE_COMMAND. "Home" is registered first, before
 * "Up".
 */
typedef enum {
  PTZ_MOVE_CMD_UP = 0,
  PTZ_MOVE_CMD_DOWN = 1,
  PTZ_MOVE_CMD_LEFT = 2,
  PTZ_MOVE_CMD_RIGHT = 3,
  PTZ_MOVE_CMD_UP_LEFT = 4,
  PTZ_MOVE_CMD_UP_RIGHT = 5,
  PTZ_MOVE_CMD_DOWN_LEFT = 6,
  PTZ_MOVE_CMD_DOWN_RIGHT = 7,
  PTZ_MOVE_CMD_HOME = 8,
  PTZ_MOVE_CMD_STOP = 9
} PTZMoveCmd;
PTZ_API GType ptz_move_cmd_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_MOVE_CMD (ptz_move_cmd_get_type ())

/**
 * PTZEnable:
 * @PTZ_ENABLE_NONE: not given
 * @PTZ_ENABLE_ON: on
 * @PTZ_ENABLE_OFF: off
 *
 * A switch that is on or off.
 */
typedef enum {
  PTZ_ENABLE_NONE = 0,
  PTZ_ENABLE_ON = 1,
  PTZ_ENABLE_OFF = 2
} PTZEnable;
PTZ_API GType ptz_enable_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_ENABLE (ptz_enable_get_type ())

/**
 * PTZAutoEnable:
 * @PTZ_AUTO_ENABLE_NONE: not given
 * @PTZ_AUTO_ENABLE_ON: on
 * @PTZ_AUTO_ENABLE_OFF: off
 * @PTZ_AUTO_ENABLE_AUTO: automatic
 *
 * A switch that is on, off or automatic.
 */
typedef enum {
  PTZ_AUTO_ENABLE_NONE = 0,
  PTZ_AUTO_ENABLE_ON = 1,
  PTZ_AUTO_ENABLE_OFF = 2,
  PTZ_AUTO_ENABLE_AUTO = 3
} PTZAutoEnable;
PTZ_API GType ptz_auto_enable_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_AUTO_ENABLE (ptz_auto_enable_get_type ())

/**
 * PTZControl:
 * @PTZ_CONTROL_REQUEST: ask for control
 * @PTZ_CONTROL_QUERY: ask who has control
 * @PTZ_CONTROL_DROP: give control up
 * @PTZ_CONTROL_REQUEST_TAKE_EQUAL: ask for control, taking it from a holder of equal priority
 * @PTZ_CONTROL_UNKNOWN: not known
 *
 * Requests for the control of a device.
 */
typedef enum {
  PTZ_CONTROL_REQUEST = 0,
  PTZ_CONTROL_QUERY = 1,
  PTZ_CONTROL_DROP = 2,
  PTZ_CONTROL_REQUEST_TAKE_EQUAL = 3,
  PTZ_CONTROL_UNKNOWN = 4
} PTZControl;
PTZ_API GType ptz_control_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_CONTROL (ptz_control_get_type ())

/**
 * PTZQuery:
 * @PTZ_QUERY_SPEED: the speeds
 * @PTZ_QUERY_POSITION: the position
 * @PTZ_QUERY_PRESETPOSCAM: the preset positions of the camera
 * @PTZ_QUERY_PRESETPOSALL: every preset position
 *
 * What a query asks for.
 */
typedef enum {
  PTZ_QUERY_SPEED = 0,
  PTZ_QUERY_POSITION = 1,
  PTZ_QUERY_PRESETPOSCAM = 2,
  PTZ_QUERY_PRESETPOSALL = 3
} PTZQuery;
PTZ_API GType ptz_query_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_QUERY (ptz_query_get_type ())

/**
 * PTZAngle:
 * @PTZ_ANGLE_HORIZONTAL: the horizontal one
 * @PTZ_ANGLE_VERTICAL: the vertical one
 * @PTZ_ANGLE_BOTH: both
 * @PTZ_ANGLE_NONE: none
 *
 * Which field angle a %PTZ_COMMAND_FIELD_ANGLES asks for.
 */
typedef enum {
  PTZ_ANGLE_HORIZONTAL = 0,
  PTZ_ANGLE_VERTICAL = 1,
  PTZ_ANGLE_BOTH = 2,
  PTZ_ANGLE_NONE = 3
} PTZAngle;
PTZ_API GType ptz_angle_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_ANGLE (ptz_angle_get_type ())

/**
 * PTZOsdMenu:
 * @PTZ_OSD_MENU_OPEN: open the menu
 * @PTZ_OSD_MENU_CLOSE: close the menu
 * @PTZ_OSD_MENU_UP: up
 * @PTZ_OSD_MENU_DOWN: down
 * @PTZ_OSD_MENU_LEFT: left
 * @PTZ_OSD_MENU_RIGHT: right
 * @PTZ_OSD_MENU_SELECT: select the current entry
 * @PTZ_OSD_MENU_BACK: back to the previous level
 *
 * Keys of the on-screen menu, for %PTZ_COMMAND_OSD_MENU.
 */
typedef enum {
  PTZ_OSD_MENU_OPEN = 0,
  PTZ_OSD_MENU_CLOSE = 1,
  PTZ_OSD_MENU_UP = 2,
  PTZ_OSD_MENU_DOWN = 3,
  PTZ_OSD_MENU_LEFT = 4,
  PTZ_OSD_MENU_RIGHT = 5,
  PTZ_OSD_MENU_SELECT = 6,
  PTZ_OSD_MENU_BACK = 7
} PTZOsdMenu;
PTZ_API GType ptz_osd_menu_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_OSD_MENU (ptz_osd_menu_get_type ())

/**
 * PTZDriverStatus:
 * @PTZ_DRIVER_STATUS_ERROR: failed
 * @PTZ_DRIVER_STATUS_READY: done, ready for more
 * @PTZ_DRIVER_STATUS_WAIT: busy, try again
 * @PTZ_DRIVER_STATUS_ABORT: abandoned
 *
 * The outcome a driver reports for a request.
 */
typedef enum {
  PTZ_DRIVER_STATUS_ERROR = 0,
  PTZ_DRIVER_STATUS_READY = 1,
  PTZ_DRIVER_STATUS_WAIT = 2,
  PTZ_DRIVER_STATUS_ABORT = 3
} PTZDriverStatus;
PTZ_API GType ptz_driver_status_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_DRIVER_STATUS (ptz_driver_status_get_type ())

/**
 * PTZSpace:
 * @PTZ_SPACE_NONE: none
 * @PTZ_SPACE_GENERIC: the framework's generic range
 * @PTZ_SPACE_MECH: the device's mechanical steps
 * @PTZ_SPACE_MAG: zoom as a magnification
 * @PTZ_SPACE_DEGREES: degrees
 * @PTZ_SPACE_FOV: zoom as a field of view
 * @PTZ_SPACE_P_SPEED_DISABLED: speeds without proportional speed
 * @PTZ_SPACE_OVERVIEW: coordinates of the overview image
 * @PTZ_SPACE_DURATION: a duration
 *
 * The coordinate space of the values of a move or query.
 */
typedef enum {
  PTZ_SPACE_NONE = 0,
  PTZ_SPACE_GENERIC = 1,
  PTZ_SPACE_MECH = 2,
  PTZ_SPACE_MAG = 3,
  PTZ_SPACE_DEGREES = 4,
  PTZ_SPACE_FOV = 5,
  PTZ_SPACE_P_SPEED_DISABLED = 6,
  PTZ_SPACE_OVERVIEW = 7,
  PTZ_SPACE_DURATION = 8
} PTZSpace;
PTZ_API GType ptz_space_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_SPACE (ptz_space_get_type ())

/**
 * PTZParameter:
 * @PTZ_PARAMETER_NONE: no kind
 * @PTZ_PARAMETER_CONSTANT: text that cannot be changed
 * @PTZ_PARAMETER_TEXT: text
 * @PTZ_PARAMETER_INTEGER: an integer
 * @PTZ_PARAMETER_BOOLEAN: a boolean
 * @PTZ_PARAMETER_CONSTANT_INTEGER: an integer that cannot be changed
 * @PTZ_PARAMETER_CONSTANT_BOOLEAN: a boolean that cannot be changed
 *
 * The kind of a driver parameter's value; ptz_gvalue_utils_gvalue_from_string()
 * converts value text by it.
 */
typedef enum {
  PTZ_PARAMETER_NONE = 0,
  PTZ_PARAMETER_CONSTANT = 1,
  PTZ_PARAMETER_TEXT = 2,
  PTZ_PARAMETER_INTEGER = 3,
  PTZ_PARAMETER_BOOLEAN = 4,
  PTZ_PARAMETER_CONSTANT_INTEGER = 5,
  PTZ_PARAMETER_CONSTANT_BOOLEAN = 6
} PTZParameter;
PTZ_API GType ptz_parameter_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_PARAMETER (ptz_parameter_get_type ())

/**
 * PTZParameterGroup:
 * @PTZ_PARAMETER_GROUP_NONE: no group
 * @PTZ_PARAMETER_GROUP_GENERAL: general settings
 * @PTZ_PARAMETER_GROUP_SERIAL: the serial line
 * @PTZ_PARAMETER_GROUP_SUPPORT: what the device supports
 * @PTZ_PARAMETER_GROUP_LIMIT: limits of the axes
 * @PTZ_PARAMETER_GROUP_VARIOUS: various settings
 * @PTZ_PARAMETER_GROUP_USER_BASIC: the user's basic settings
 * @PTZ_PARAMETER_GROUP_USER_ADVANCED: the user's advanced settings
 * @PTZ_PARAMETER_GROUP_IMAGE_SOURCE: the image source
 * @PTZ_PARAMETER_GROUP_AUX_BUTTON: auxiliary buttons
 *
 * The group a driver parameter is shown in.
 */
typedef enum {
  PTZ_PARAMETER_GROUP_NONE = 0,
  PTZ_PARAMETER_GROUP_GENERAL = 1,
  PTZ_PARAMETER_GROUP_SERIAL = 2,
  PTZ_PARAMETER_GROUP_SUPPORT = 3,
  PTZ_PARAMETER_GROUP_LIMIT = 4,
  PTZ_PARAMETER_GROUP_VARIOUS = 5,
  PTZ_PARAMETER_GROUP_USER_BASIC = 6,
  PTZ_PARAMETER_GROUP_USER_ADVANCED = 7,
  PTZ_PARAMETER_GROUP_IMAGE_SOURCE = 8,
  PTZ_PARAMETER_GROUP_AUX_BUTTON = 9
} PTZParameterGroup;
PTZ_API GType ptz_parameter_group_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_PARAMETER_GROUP (ptz_parameter_group_get_type ())

/**
 * PTZPortMode:
 * @PTZ_PORT_MODE_OFF: off
 * @PTZ_PORT_MODE_RS485: RS-485, two wires
 * @PTZ_PORT_MODE_RS485_4: RS-485, four wires
 * @PTZ_PORT_MODE_RS422: RS-422, two or four wires
 * @PTZ_PORT_MODE_RS232: RS-232
 * @PTZ_PORT_MODE_COAX: control over the coaxial video cable
 *
 * Modes of a serial line.
 */
typedef enum {
  PTZ_PORT_MODE_OFF = 0,
  PTZ_PORT_MODE_RS485 = 1,
  PTZ_PORT_MODE_RS485_4 = 2,
  PTZ_PORT_MODE_RS422 = 3,
  PTZ_PORT_MODE_RS232 = 4,
  PTZ_PORT_MODE_COAX = 5
} PTZPortMode;
PTZ_API GType ptz_port_mode_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_PORT_MODE (ptz_port_mode_get_type ())

/**
 * PTZBaudRate:
 * @PTZ_BAUD_RATE_300: 300 baud
 * @PTZ_BAUD_RATE_600: 600 baud
 * @PTZ_BAUD_RATE_1200: 1200 baud
 * @PTZ_BAUD_RATE_2400: 2400 baud
 * @PTZ_BAUD_RATE_4800: 4800 baud
 * @PTZ_BAUD_RATE_9600: 9600 baud
 * @PTZ_BAUD_RATE_19200: 19200 baud
 * @PTZ_BAUD_RATE_38400: 38400 baud
 * @PTZ_BAUD_RATE_57600: 57600 baud
 * @PTZ_BAUD_RATE_115200: 115200 baud
 * @PTZ_BAUD_RATE_230400: 230400 baud
 * @PTZ_BAUD_RATE_460800: 460800 baud
 *
 * Baud rates of a serial line; each value is the rate itself, and its
 * registered name and nick are the rate in decimal.
 */
typedef enum {
  PTZ_BAUD_RATE_300 = 300,
  PTZ_BAUD_RATE_600 = 600,
  PTZ_BAUD_RATE_1200 = 1200,
  PTZ_BAUD_RATE_2400 = 2400,
  PTZ_BAUD_RATE_4800 = 4800,
  PTZ_BAUD_RATE_9600 = 9600,
  PTZ_BAUD_RATE_19200 = 19200,
  PTZ_BAUD_RATE_38400 = 38400,
  PTZ_BAUD_RATE_57600 = 57600,
  PTZ_BAUD_RATE_115200 = 115200,
  PTZ_BAUD_RATE_230400 = 230400,
  PTZ_BAUD_RATE_460800 = 460800
} PTZBaudRate;
PTZ_API GType ptz_baud_rate_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_BAUD_RATE (ptz_baud_rate_get_type ())

/**
 * PTZDataBits:
 * @PTZ_DATA_BITS_7: seven
 * @PTZ_DATA_BITS_8: eight
 *
 * Data bits of a serial line; each value is the number itself.
 */
typedef enum {
  PTZ_DATA_BITS_7 = 7,
  PTZ_DATA_BITS_8 = 8
} PTZDataBits;
PTZ_API GType ptz_data_bits_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_DATA_BITS (ptz_data_bits_get_type ())

/**
 * PTZStopBits:
 * @PTZ_STOP_BITS_1: one
 * @PTZ_STOP_BITS_2: two
 *
 * Stop bits of a serial line; each value is the number itself.
 */
typedef enum {
  PTZ_STOP_BITS_1 = 1,
  PTZ_STOP_BITS_2 = 2
} PTZStopBits;
PTZ_API GType ptz_stop_bits_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_STOP_BITS (ptz_stop_bits_get_type ())

/**
 * PTZParity:
 * @PTZ_PARITY_NONE: none
 * @PTZ_PARITY_EVEN: even
 * @PTZ_PARITY_ODD: odd
 * @PTZ_PARITY_MARK: mark (always 1)
 * @PTZ_PARITY_SPACE: space (always 0)
 *
 * Parity of a serial line.
 */
typedef enum {
  PTZ_PARITY_NONE = 0,
  PTZ_PARITY_EVEN = 1,
  PTZ_PARITY_ODD = 2,
  PTZ_PARITY_MARK = 3,
  PTZ_PARITY_SPACE = 4
} PTZParity;
PTZ_API GType ptz_parity_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_PARITY (ptz_parity_get_type ())

/**
 * PTZPortType:
 * @PTZ_PORT_TYPE_SERIAL: a serial port
 * @PTZ_PORT_TYPE_REMOTEPORT: a remote port
 * @PTZ_PORT_TYPE_COAX_PTZ_CONTROL: control over the coaxial video cable
 *
 * How a device is reached; ptz_port_index_porttype2comport() maps the
 * registered names to communication ports.
 */
typedef enum {
  PTZ_PORT_TYPE_SERIAL = 0,
  PTZ_PORT_TYPE_REMOTEPORT = 1,
  PTZ_PORT_TYPE_COAX_PTZ_CONTROL = 2
} PTZPortType;
PTZ_API GType ptz_port_type_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_PORT_TYPE (ptz_port_type_get_type ())

/**
 * PTZSCGroup:
 * @PTZ_SC_GROUP_POSITION: positions, motion statuses and their times; 1536 bytes in the cache
 * @PTZ_SC_GROUP_PRESET: presets; 64 bytes in the cache, with no values this library publishes
 * @PTZ_SC_GROUP_VARIOUS: flips and automatic modes; 228 bytes in the cache
 * @PTZ_SC_GROUP_LIMIT: the limits of every axis; 512 bytes in the cache
 *
 * The groups a driver publishes in the status cache, one of each per index:
 * "PTZ_POSITION_IS<index>", "PTZ_PRESET_IS<index>", "PTZ_VARIOUS_IS<index>" and
 * "PTZ_LIMIT_IS<index>". The values each holds are listed on the page
 * "Status-cache keys".
 */
typedef enum {
  PTZ_SC_GROUP_POSITION = 0,
  PTZ_SC_GROUP_PRESET = 1,
  PTZ_SC_GROUP_VARIOUS = 2,
  PTZ_SC_GROUP_LIMIT = 3
} PTZSCGroup;
PTZ_API GType ptz_sc_group_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_SC_GROUP (ptz_sc_group_get_type ())

/**
 * PTZSCParam:
 * @PTZ_SC_PARAM_POSITION_PAN: pan in degrees (Position group)
 * @PTZ_SC_PARAM_POSITION_TILT: tilt in degrees (Position group)
 * @PTZ_SC_PARAM_POSITION_PAN_MECH: pan in mechanical steps (Position group)
 * @PTZ_SC_PARAM_POSITION_TILT_MECH: tilt in mechanical steps (Position group)
 * @PTZ_SC_PARAM_POSITION_PAN_FIXED: pan as a whole number ("FIXED_PAN") (Position group)
 * @PTZ_SC_PARAM_POSITION_TILT_FIXED: tilt as a whole number ("FIXED_TILT") (Position group)
 * @PTZ_SC_PARAM_POSITION_MZOOM: zoom as a magnification (Position group)
 * @PTZ_SC_PARAM_POSITION_VZOOM: zoom in the device's units (Position group)
 * @PTZ_SC_PARAM_POSITION_HFOV: horizontal field of view (Position group)
 * @PTZ_SC_PARAM_POSITION_VFOV: vertical field of view (Position group)
 * @PTZ_SC_PARAM_POSITION_MASK_HFOV: horizontal field of view for privacy masks (Position group)
 * @PTZ_SC_PARAM_POSITION_MASK_VFOV: vertical field of view for privacy masks (Position group)
 * @PTZ_SC_PARAM_POSITION_IRIS: iris in the device's units (Position group)
 * @PTZ_SC_PARAM_POSITION_FOCUS: focus in the device's units (registered with the nick "position
 *   focus", with a blank) (Position group)
 * @PTZ_SC_PARAM_POSITION_BRIGHTNESS: brightness in the device's units (Position group)
 * @PTZ_SC_PARAM_POSITION_PAN_STATUS: pan motion, a #PTZMoveStatus (Position group)
 * @PTZ_SC_PARAM_POSITION_TILT_STATUS: tilt motion, a #PTZMoveStatus (Position group)
 * @PTZ_SC_PARAM_POSITION_ZOOM_STATUS: zoom motion, a #PTZMoveStatus (Position group)
 * @PTZ_SC_PARAM_POSITION_IRIS_STATUS: iris motion, a #PTZMoveStatus (Position group)
 * @PTZ_SC_PARAM_POSITION_FOCUS_STATUS: focus motion, a #PTZMoveStatus (Position group)
 * @PTZ_SC_PARAM_POSITION_BRIGHTNESS_STATUS: brightness motion, a #PTZMoveStatus (Position group)
 * @PTZ_SC_PARAM_POSITION_UPDATE_RATE: how often the position values are updated (Position group)
 * @PTZ_SC_PARAM_POSITION_TIME_VAL: when the values were last updated (monotonic clock) (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_PAN_STATUS_IDLE_TIME: since when the pan motion is idle (Position group)
 * @PTZ_SC_PARAM_POSITION_PAN_STATUS_MOVING_TIME: since when the pan motion is moving (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_TILT_STATUS_IDLE_TIME: since when the tilt motion is idle (Position group)
 * @PTZ_SC_PARAM_POSITION_TILT_STATUS_MOVING_TIME: since when the tilt motion is moving (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_ZOOM_STATUS_IDLE_TIME: since when the zoom motion is idle (Position group)
 * @PTZ_SC_PARAM_POSITION_ZOOM_STATUS_MOVING_TIME: since when the zoom motion is moving (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_IRIS_STATUS_IDLE_TIME: since when the iris motion is idle (Position group)
 * @PTZ_SC_PARAM_POSITION_IRIS_STATUS_MOVING_TIME: since when the iris motion is moving (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_FOCUS_STATUS_IDLE_TIME: since when the focus motion is idle (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_FOCUS_STATUS_MOVING_TIME: since when the focus motion is moving (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_BRIGHT_STATUS_IDLE_TIME: since when the brightness motion is idle
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_BRIGHT_STATUS_MOVING_TIME: since when the brightness motion is moving
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_PAN_STATUS_IDLE_TIME: since when the "GM" pan status is idle (Position
 *   group)
 * @PTZ_SC_PARAM_POSITION_GM_PAN_STATUS_MOVING_TIME: since when the "GM" pan status is moving
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_TILT_STATUS_IDLE_TIME: since when the "GM" tilt status is idle
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_TILT_STATUS_MOVING_TIME: since when the "GM" tilt status is moving
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_ZOOM_STATUS_IDLE_TIME: since when the "GM" zoom status is idle
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_ZOOM_STATUS_MOVING_TIME: since when the "GM" zoom status is moving
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_IRIS_STATUS_IDLE_TIME: since when the "GM" iris status is idle
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_IRIS_STATUS_MOVING_TIME: since when the "GM" iris status is moving
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_FOCUS_STATUS_IDLE_TIME: since when the "GM" focus status is idle
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_FOCUS_STATUS_MOVING_TIME: since when the "GM" focus status is moving
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_BRIGHT_STATUS_IDLE_TIME: since when the "GM" brightness status is idle
 *   (Position group)
 * @PTZ_SC_PARAM_POSITION_GM_BRIGHT_STATUS_MOVING_TIME: since when the "GM" brightness status is
 *   moving (Position group)
 * @PTZ_SC_PARAM_PRESET_NAME: preset name (Preset group; not published by this library)
 * @PTZ_SC_PARAM_PRESET_SIZE: number of presets (Preset group; not published by this library)
 * @PTZ_SC_PARAM_VARIOUS_PAN_FLIPPED: pan is flipped (Various group)
 * @PTZ_SC_PARAM_VARIOUS_TILT_FLIPPED: tilt is flipped (Various group)
 * @PTZ_SC_PARAM_VARIOUS_CAM_FLIPPED: the image is flipped (Various group)
 * @PTZ_SC_PARAM_VARIOUS_AUTO_FLIPPING: automatic flipping is on (Various group)
 * @PTZ_SC_PARAM_VARIOUS_PT_PRESET_MOVE: a pan/tilt move to a preset runs (Various group)
 * @PTZ_SC_PARAM_VARIOUS_AUTO_FOCUS: automatic focus is on (Various group)
 * @PTZ_SC_PARAM_VARIOUS_AUTO_IRIS: automatic iris is on (Various group)
 * @PTZ_SC_PARAM_VARIOUS_BACKLIGHT_COMPENSATION: backlight compensation is on (Various group)
 * @PTZ_SC_PARAM_VARIOUS_IR_CUT_FILTER: the infrared cut filter is in (Various group)
 * @PTZ_SC_PARAM_LIMIT_MIN_PAN: lowest pan (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MAX_PAN: highest pan (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MIN_TILT: lowest tilt (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MAX_TILT: highest tilt (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MIN_ZOOM: lowest zoom (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MAX_ZOOM: highest zoom (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MIN_IRIS: lowest iris (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MAX_IRIS: highest iris (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MIN_FOCUS: lowest focus (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MAX_FOCUS: highest focus (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MIN_ANGLE: lowest field angle (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MAX_ANGLE: highest field angle (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MIN_BRIGHTNESS: lowest brightness (Limit group)
 * @PTZ_SC_PARAM_LIMIT_MAX_BRIGHTNESS: highest brightness (Limit group)
 *
 * The values of the status-cache groups (#PTZSCGroup). 0 to 46 belong to the
 * Position group, 47 and 48 to the Preset group, 49 to 57 to the Various group
 * and 59 to 72 to the Limit group. 58 has no enumerator and no registered row,
 * but the Various group accepts it as its overview mode ("OVERVIEW_MODE"). The
 * focus pairs of times are registered before the iris pairs. The key, value
 * type and size of each are on the page "Status-cache keys", and
 * ptz_status_cache_param_info() tells them at run time.
 */
typedef enum {
  PTZ_SC_PARAM_POSITION_PAN = 0,
  PTZ_SC_PARAM_POSITION_TILT = 1,
  PTZ_SC_PARAM_POSITION_PAN_MECH = 2,
  PTZ_SC_PARAM_POSITION_TILT_MECH = 3,
  PTZ_SC_PARAM_POSITION_PAN_FIXED = 4,
  PTZ_SC_PARAM_POSITION_TILT_FIXED = 5,
  PTZ_SC_PARAM_POSITION_MZOOM = 6,
  PTZ_SC_PARAM_POSITION_VZOOM = 7,
  PTZ_SC_PARAM_POSITION_HFOV = 8,
  PTZ_SC_PARAM_POSITION_VFOV = 9,
  PTZ_SC_PARAM_POSITION_MASK_HFOV = 10,
  PTZ_SC_PARAM_POSITION_MASK_VFOV = 11,
  PTZ_SC_PARAM_POSITION_IRIS = 12,
  PTZ_SC_PARAM_POSITION_FOCUS = 13,
  PTZ_SC_PARAM_POSITION_BRIGHTNESS = 14,
  PTZ_SC_PARAM_POSITION_PAN_STATUS = 15,
  PTZ_SC_PARAM_POSITION_TILT_STATUS = 16,
  PTZ_SC_PARAM_POSITION_ZOOM_STATUS = 17,
  PTZ_SC_PARAM_POSITION_IRIS_STATUS = 18,
  PTZ_SC_PARAM_POSITION_FOCUS_STATUS = 19,
  PTZ_SC_PARAM_POSITION_BRIGHTNESS_STATUS = 20,
  PTZ_SC_PARAM_POSITION_UPDATE_RATE = 21,
  PTZ_SC_PARAM_POSITION_TIME_VAL = 22,
  PTZ_SC_PARAM_POSITION_PAN_STATUS_IDLE_TIME = 23,
  PTZ_SC_PARAM_POSITION_PAN_STATUS_MOVING_TIME = 24,
  PTZ_SC_PARAM_POSITION_TILT_STATUS_IDLE_TIME = 25,
  PTZ_SC_PARAM_POSITION_TILT_STATUS_MOVING_TIME = 26,
  PTZ_SC_PARAM_POSITION_ZOOM_STATUS_IDLE_TIME = 27,
  PTZ_SC_PARAM_POSITION_ZOOM_STATUS_MOVING_TIME = 28,
  PTZ_SC_PARAM_POSITION_IRIS_STATUS_IDLE_TIME = 29,
  PTZ_SC_PARAM_POSITION_IRIS_STATUS_MOVING_TIME = 30,
  PTZ_SC_PARAM_POSITION_FOCUS_STATUS_IDLE_TIME = 31,
  PTZ_SC_PARAM_POSITION_FOCUS_STATUS_MOVING_TIME = 32,
  PTZ_SC_PARAM_POSITION_BRIGHT_STATUS_IDLE_TIME = 33,
  PTZ_SC_PARAM_POSITION_BRIGHT_STATUS_MOVING_TIME = 34,
  PTZ_SC_PARAM_POSITION_GM_PAN_STATUS_IDLE_TIME = 35,
  PTZ_SC_PARAM_POSITION_GM_PAN_STATUS_MOVING_TIME = 36,
  PTZ_SC_PARAM_POSITION_GM_TILT_STATUS_IDLE_TIME = 37,
  PTZ_SC_PARAM_POSITION_GM_TILT_STATUS_MOVING_TIME = 38,
  PTZ_SC_PARAM_POSITION_GM_ZOOM_STATUS_IDLE_TIME = 39,
  PTZ_SC_PARAM_POSITION_GM_ZOOM_STATUS_MOVING_TIME = 40,
  PTZ_SC_PARAM_POSITION_GM_IRIS_STATUS_IDLE_TIME = 41,
  PTZ_SC_PARAM_POSITION_GM_IRIS_STATUS_MOVING_TIME = 42,
  PTZ_SC_PARAM_POSITION_GM_FOCUS_STATUS_IDLE_TIME = 43,
  PTZ_SC_PARAM_POSITION_GM_FOCUS_STATUS_MOVING_TIME = 44,
  PTZ_SC_PARAM_POSITION_GM_BRIGHT_STATUS_IDLE_TIME = 45,
  PTZ_SC_PARAM_POSITION_GM_BRIGHT_STATUS_MOVING_TIME = 46,
  PTZ_SC_PARAM_PRESET_NAME = 47,
  PTZ_SC_PARAM_PRESET_SIZE = 48,
  PTZ_SC_PARAM_VARIOUS_PAN_FLIPPED = 49,
  PTZ_SC_PARAM_VARIOUS_TILT_FLIPPED = 50,
  PTZ_SC_PARAM_VARIOUS_CAM_FLIPPED = 51,
  PTZ_SC_PARAM_VARIOUS_AUTO_FLIPPING = 52,
  PTZ_SC_PARAM_VARIOUS_PT_PRESET_MOVE = 53,
  PTZ_SC_PARAM_VARIOUS_AUTO_FOCUS = 54,
  PTZ_SC_PARAM_VARIOUS_AUTO_IRIS = 55,
  PTZ_SC_PARAM_VARIOUS_BACKLIGHT_COMPENSATION = 56,
  PTZ_SC_PARAM_VARIOUS_IR_CUT_FILTER = 57,
  PTZ_SC_PARAM_LIMIT_MIN_PAN = 59,
  PTZ_SC_PARAM_LIMIT_MAX_PAN = 60,
  PTZ_SC_PARAM_LIMIT_MIN_TILT = 61,
  PTZ_SC_PARAM_LIMIT_MAX_TILT = 62,
  PTZ_SC_PARAM_LIMIT_MIN_ZOOM = 63,
  PTZ_SC_PARAM_LIMIT_MAX_ZOOM = 64,
  PTZ_SC_PARAM_LIMIT_MIN_IRIS = 65,
  PTZ_SC_PARAM_LIMIT_MAX_IRIS = 66,
  PTZ_SC_PARAM_LIMIT_MIN_FOCUS = 67,
  PTZ_SC_PARAM_LIMIT_MAX_FOCUS = 68,
  PTZ_SC_PARAM_LIMIT_MIN_ANGLE = 69,
  PTZ_SC_PARAM_LIMIT_MAX_ANGLE = 70,
  PTZ_SC_PARAM_LIMIT_MIN_BRIGHTNESS = 71,
  PTZ_SC_PARAM_LIMIT_MAX_BRIGHTNESS = 72
} PTZSCParam;
PTZ_API GType ptz_sc_param_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_SC_PARAM (ptz_sc_param_get_type ())

/**
 * PTZDriverState:
 * @PTZ_DRIVER_STATE_UNKNOWN: not known
 * @PTZ_DRIVER_STATE_RUN: running
 * @PTZ_DRIVER_STATE_WARMING_UP: warming up
 * @PTZ_DRIVER_STATE_COOLING_DOWN: cooling down
 * @PTZ_DRIVER_STATE_INIT: starting
 * @PTZ_DRIVER_STATE_UPGRADING: upgrading the device
 * @PTZ_DRIVER_STATE_DOWN: stopped
 * @PTZ_DRIVER_STATE_NOT_FUNCTIONAL: not working
 * @PTZ_DRIVER_STATE_RECALIBRATING: calibrating pan and tilt
 * @PTZ_DRIVER_STATE_WAITING_FOR_POWER: waiting for power to be allocated
 * @PTZ_DRIVER_STATE_LOW_POWER: running low on power
 *
 * The state a driver is in.
 */
typedef enum {
  PTZ_DRIVER_STATE_UNKNOWN = 0,
  PTZ_DRIVER_STATE_RUN = 1,
  PTZ_DRIVER_STATE_WARMING_UP = 2,
  PTZ_DRIVER_STATE_COOLING_DOWN = 3,
  PTZ_DRIVER_STATE_INIT = 4,
  PTZ_DRIVER_STATE_UPGRADING = 5,
  PTZ_DRIVER_STATE_DOWN = 6,
  PTZ_DRIVER_STATE_NOT_FUNCTIONAL = 7,
  PTZ_DRIVER_STATE_RECALIBRATING = 8,
  PTZ_DRIVER_STATE_WAITING_FOR_POWER = 9,
  PTZ_DRIVER_STATE_LOW_POWER = 10
} PTZDriverState;
PTZ_API GType ptz_driver_state_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_DRIVER_STATE (ptz_driver_state_get_type ())

/**
 * PTZDriverMoveCapabilities:
 * @PTZ_DRIVER_MOVE_CAPABILITIES_NONE: nothing
 * @PTZ_DRIVER_MOVE_CAPABILITIES_PAN: absolute pan
 * @PTZ_DRIVER_MOVE_CAPABILITIES_REL_PAN: relative pan
 * @PTZ_DRIVER_MOVE_CAPABILITIES_CONT_PAN: continuous pan
 * @PTZ_DRIVER_MOVE_CAPABILITIES_TILT: absolute tilt
 * @PTZ_DRIVER_MOVE_CAPABILITIES_REL_TILT: relative tilt
 * @PTZ_DRIVER_MOVE_CAPABILITIES_CONT_TILT: continuous tilt
 * @PTZ_DRIVER_MOVE_CAPABILITIES_ZOOM: absolute zoom
 * @PTZ_DRIVER_MOVE_CAPABILITIES_REL_ZOOM: relative zoom
 * @PTZ_DRIVER_MOVE_CAPABILITIES_CONT_ZOOM: continuous zoom
 * @PTZ_DRIVER_MOVE_CAPABILITIES_DIGITAL_ZOOM: digital zoom
 * @PTZ_DRIVER_MOVE_CAPABILITIES_MAX_ZOOM: a maximum zoom is known
 * @PTZ_DRIVER_MOVE_CAPABILITIES_FOCUS: absolute focus
 * @PTZ_DRIVER_MOVE_CAPABILITIES_REL_FOCUS: relative focus
 * @PTZ_DRIVER_MOVE_CAPABILITIES_CONT_FOCUS: continuous focus
 * @PTZ_DRIVER_MOVE_CAPABILITIES_AUTO_FOCUS: automatic focus
 * @PTZ_DRIVER_MOVE_CAPABILITIES_IRIS: absolute iris
 * @PTZ_DRIVER_MOVE_CAPABILITIES_REL_IRIS: relative iris
 * @PTZ_DRIVER_MOVE_CAPABILITIES_CONT_IRIS: continuous iris
 * @PTZ_DRIVER_MOVE_CAPABILITIES_AUTO_IRIS: automatic iris
 * @PTZ_DRIVER_MOVE_CAPABILITIES_BRIGHTNESS: absolute brightness
 * @PTZ_DRIVER_MOVE_CAPABILITIES_REL_BRIGHTNESS: relative brightness
 * @PTZ_DRIVER_MOVE_CAPABILITIES_CONT_BRIGHTNESS: continuous brightness
 * @PTZ_DRIVER_MOVE_CAPABILITIES_IR_CUT_FILTER: infrared cut filter
 * @PTZ_DRIVER_MOVE_CAPABILITIES_AUTO_IR_CUT_FILTER: automatic infrared cut filter
 * @PTZ_DRIVER_MOVE_CAPABILITIES_BACK_LIGHT: backlight compensation
 * @PTZ_DRIVER_MOVE_CAPABILITIES_SPEED_CONTROL: speeds can be set
 * @PTZ_DRIVER_MOVE_CAPABILITIES_PROPORTIONAL_SPEED: speeds follow the zoom
 * @PTZ_DRIVER_MOVE_CAPABILITIES_LOCKED: the device is locked
 * @PTZ_DRIVER_MOVE_CAPABILITIES_PAN_OFFSET: a pan offset can be set
 * @PTZ_DRIVER_MOVE_CAPABILITIES_ZOOM_MAG: zoom as a magnification; bit 31, which
 *   ptz_flag_types_list_all() never lists
 *
 * The axes and move modes a driver supports: the bits of the `move` word of
 * #PTZDriverCapabilities. Bits 27 and 28 have no value; "Locked" is registered
 * before "SpeedControl".
 */
typedef enum {
  PTZ_DRIVER_MOVE_CAPABILITIES_NONE = 0x0,
  PTZ_DRIVER_MOVE_CAPABILITIES_PAN = 0x1,
  PTZ_DRIVER_MOVE_CAPABILITIES_REL_PAN = 0x2,
  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_PAN = 0x4,
  PTZ_DRIVER_MOVE_CAPABILITIES_TILT = 0x8,
  PTZ_DRIVER_MOVE_CAPABILITIES_REL_TILT = 0x10,
  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_TILT = 0x20,
  PTZ_DRIVER_MOVE_CAPABILITIES_ZOOM = 0x40,
  PTZ_DRIVER_MOVE_CAPABILITIES_REL_ZOOM = 0x80,
  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_ZOOM = 0x100,
  PTZ_DRIVER_MOVE_CAPABILITIES_DIGITAL_ZOOM = 0x200,
  PTZ_DRIVER_MOVE_CAPABILITIES_MAX_ZOOM = 0x400,
  PTZ_DRIVER_MOVE_CAPABILITIES_FOCUS = 0x800,
  PTZ_DRIVER_MOVE_CAPABILITIES_REL_FOCUS = 0x1000,
  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_FOCUS = 0x2000,
  PTZ_DRIVER_MOVE_CAPABILITIES_AUTO_FOCUS = 0x4000,
  PTZ_DRIVER_MOVE_CAPABILITIES_IRIS = 0x8000,
  PTZ_DRIVER_MOVE_CAPABILITIES_REL_IRIS = 0x10000,
  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_IRIS = 0x20000,
  PTZ_DRIVER_MOVE_CAPABILITIES_AUTO_IRIS = 0x40000,
  PTZ_DRIVER_MOVE_CAPABILITIES_BRIGHTNESS = 0x80000,
  PTZ_DRIVER_MOVE_CAPABILITIES_REL_BRIGHTNESS = 0x100000,
  PTZ_DRIVER_MOVE_CAPABILITIES_CONT_BRIGHTNESS = 0x200000,
  PTZ_DRIVER_MOVE_CAPABILITIES_IR_CUT_FILTER = 0x400000,
  PTZ_DRIVER_MOVE_CAPABILITIES_AUTO_IR_CUT_FILTER = 0x800000,
  PTZ_DRIVER_MOVE_CAPABILITIES_BACK_LIGHT = 0x1000000,
  PTZ_DRIVER_MOVE_CAPABILITIES_SPEED_CONTROL = 0x2000000,
  PTZ_DRIVER_MOVE_CAPABILITIES_PROPORTIONAL_SPEED = 0x4000000,
  PTZ_DRIVER_MOVE_CAPABILITIES_LOCKED = 0x20000000,
  PTZ_DRIVER_MOVE_CAPABILITIES_PAN_OFFSET = 0x40000000,
  PTZ_DRIVER_MOVE_CAPABILITIES_ZOOM_MAG = 0x80000000u
} PTZDriverMoveCapabilities;
PTZ_API GType ptz_driver_move_capabilities_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_DRIVER_MOVE_CAPABILITIES (ptz_driver_move_capabilities_get_type ())

/**
 * PTZDriverExtraCapabilities:
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_NONE: nothing
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_AUX: auxiliary functions
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_OSDMENU: an on-screen menu
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_AREA_ZOOM: zoom to an area
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_LENS_OFFSET: a lens offset
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_ACTION_NOTIFICATION: notices of its actions
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_JOYSTICK_EMULATION: joystick emulation
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_GENERIC_HTTP: generic HTTP requests
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_SERVER_PRESET: presets of the framework
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_PRESET: presets stored in the device
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_DRIVER_PRESET: presets kept by the driver
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_STATUS_CACHE_POSITION: its position in the status cache
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_ASYNC_REPLY: replies that come later
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_PTZCOUNTER: counters in the status cache
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_CMD_IFDBUS: commands over D-Bus
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_CMD_IFSOCKET: commands over the socket channel
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_IDLE_MODE: an idle mode
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_POSITION_CACHE: a position cache
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_OVERVIEW: an overview image
 * @PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_TYPE: a device type only (ptz_flags_utils_ptz_usable() does
 *   not count it)
 *
 * Further features and interfaces of a driver: the bits of the `extra` word of
 * #PTZDriverCapabilities.
 */
typedef enum {
  PTZ_DRIVER_EXTRA_CAPABILITIES_NONE = 0x0,
  PTZ_DRIVER_EXTRA_CAPABILITIES_AUX = 0x1,
  PTZ_DRIVER_EXTRA_CAPABILITIES_OSDMENU = 0x2,
  PTZ_DRIVER_EXTRA_CAPABILITIES_AREA_ZOOM = 0x4,
  PTZ_DRIVER_EXTRA_CAPABILITIES_LENS_OFFSET = 0x8,
  PTZ_DRIVER_EXTRA_CAPABILITIES_ACTION_NOTIFICATION = 0x10,
  PTZ_DRIVER_EXTRA_CAPABILITIES_JOYSTICK_EMULATION = 0x20,
  PTZ_DRIVER_EXTRA_CAPABILITIES_GENERIC_HTTP = 0x40,
  PTZ_DRIVER_EXTRA_CAPABILITIES_SERVER_PRESET = 0x80,
  PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_PRESET = 0x100,
  PTZ_DRIVER_EXTRA_CAPABILITIES_DRIVER_PRESET = 0x200,
  PTZ_DRIVER_EXTRA_CAPABILITIES_STATUS_CACHE_POSITION = 0x400,
  PTZ_DRIVER_EXTRA_CAPABILITIES_ASYNC_REPLY = 0x800,
  PTZ_DRIVER_EXTRA_CAPABILITIES_PTZCOUNTER = 0x1000,
  PTZ_DRIVER_EXTRA_CAPABILITIES_CMD_IFDBUS = 0x2000,
  PTZ_DRIVER_EXTRA_CAPABILITIES_CMD_IFSOCKET = 0x4000,
  PTZ_DRIVER_EXTRA_CAPABILITIES_IDLE_MODE = 0x8000,
  PTZ_DRIVER_EXTRA_CAPABILITIES_POSITION_CACHE = 0x10000,
  PTZ_DRIVER_EXTRA_CAPABILITIES_OVERVIEW = 0x20000,
  PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_TYPE = 0x40000
} PTZDriverExtraCapabilities;
PTZ_API GType ptz_driver_extra_capabilities_get_type (void) G_GNUC_CONST;
#define PTZ_TYPE_DRIVER_EXTRA_CAPABILITIES (ptz_driver_extra_capabilities_get_type ())

/**
 * PTZDriverCapabilities:
 * @move: the axes and move modes, #PTZDriverMoveCapabilities bits
 * @extra: further features and interfaces, #PTZDriverExtraCapabilities bits
 *
 * A driver's capability pair, as %PTZ_COMMAND_GET_CAPABILITIES answers it:
 * two 32-bit words, in this order.
 */
typedef struct
{
  guint32 move;
  guint32 extra;
} PTZDriverCapabilities;

/**
 * ptz_flag_types_list_all:
 * @driver_cap: (nullable): the capabilities to list
 *
 * Logs the registered value names of the capability bits that are set, one
 * line each at `LOG_INFO` ("Pan", "RelPan", ...): the line
 * "driver_cap->move:", a line of dashes, the names of the move word, a line
 * of dashes, then "driver_cap->extra:" and the extra word the same way, and
 * a closing line of dashes. Bits 0 to 30 are examined (bit 31, "ZoomMag",
 * never is); set bits without a value write nothing. %NULL logs the single
 * line "driver_cap == NULL". The lines go to the log handler (see
 * ptz_log_set_handler()).
 *
 * Any thread may call it.
 */
PTZ_API void ptz_flag_types_list_all (const PTZDriverCapabilities *driver_cap);

/**
 * ptz_flags_utils_ptz_usable:
 * @driver_cap: (nullable): the capabilities; its `extra` word may be
 *   changed
 *
 * Tells whether a driver offers anything PTZ-related: a non-zero `move`
 * word, or an `extra` word that is non-zero once the
 * %PTZ_DRIVER_EXTRA_CAPABILITIES_DEVICE_TYPE bit is cleared. When the move
 * word is zero, the cleared extra word is stored back into @driver_cap.
 *
 * Any thread may call it; it touches only @driver_cap.
 *
 * Returns: %TRUE when the driver is usable for PTZ; %FALSE otherwise and
 *   for %NULL
 */
PTZ_API gboolean ptz_flags_utils_ptz_usable (PTZDriverCapabilities *driver_cap);

G_END_DECLS

#endif /* PTZ_ENUM_TYPES_H */
