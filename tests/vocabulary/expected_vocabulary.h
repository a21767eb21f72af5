// Expected registered vocabulary: the contract between the framework's
// processes. Each type is pinned by its row count and a SHA-256 digest of its
// rows in registration order ("value\tname\tnick\n" per row), so any change
// of a value, a text or the order shows up.
#pragma once

#include <glib-object.h>

#include <vector>

#include "ptz_enum_types.h"

struct ExpectedType {
  const char *type_name;
  GType (*get_type)(void);
  bool flags;
  guint rows;
  const char *sha256;
};

inline std::vector<ExpectedType> expected_vocabulary() {
  return {
      {"PTZCommand", ptz_command_get_type, false, 32,
       "550dea1837053628cdff8e7c404931f4d410f64bad134e15f6a11df6dafd240f"},
      {"SocketCommand", ptz_socket_command_get_type, false, 2,
       "9c56bfe538744b4534780b24c02af7f5d674e7fec3a30305de6eb035a4551405"},
      {"ProtocolVersion", ptz_protocol_version_get_type, false, 2,
       "7fee90c1b2d65430367453f2b2f3a6ee2690b44fb67291fa31ca898117aa7792"},
      {"PTZMove", ptz_move_get_type, false, 4, "4f69e075d33b4d4eb7bc0cb3aceef60b2e9f1d1311e9a4518a68a376f237d2c7"},
      {"PTZMoveStatus", ptz_move_status_get_type, false, 4,
       "8eaab9af42b509cce95f7f3b71177fba5325c67685a98e255ccf5af659452a05"},
      {"PTZMoveCmd", ptz_move_cmd_get_type, false, 10,
       "9fc1a00389e563836c0e8057c0af35d17b42c0ecfe22755cc3b77615737fc6b4"},
      {"PTZEnable", ptz_enable_get_type, false, 3, "8b84358f231827e0aa28a5a6c0d34b17d1e35da566fccc2f83bb7260ebae908b"},
      {"PTZAutoEnable", ptz_auto_enable_get_type, false, 4,
       "141ea94e789e0306d162ed3e4e73f2344b9dde975d97c6dd0187785044b48dad"},
      {"PTZControl", ptz_control_get_type, false, 5,
       "c5876c6cd021102b3d27887319b3931ea9a75b08e96b1e1fb76e9d550f03e505"},
      {"PTZQuery", ptz_query_get_type, false, 4, "dab3e5307350f1fb7140865b0fc8fbdadd78de18e85352bae6356e796adc5678"},
      {"PTZAngle", ptz_angle_get_type, false, 4, "70229da06bb48ffe597e7b9efc742dd78228a4979c347159e0890f6549614acf"},
      {"PTZOsdMenu", ptz_osd_menu_get_type, false, 8,
       "311778a834d45b3f62a842a8a2ff9e0bf51662d72036fb5e1e00658f88d67764"},
      {"PTZDriverStatus", ptz_driver_status_get_type, false, 4,
       "6401517c60e739e00e2c7c1588f53a34b232a0d4da55c4a002933ee93dd69660"},
      {"PTZSpace", ptz_space_get_type, false, 9, "5a0923bfcd1f82d16f722c9c530d1a8d9ddaba8ac4d14fa5755fdcd5cc78be30"},
      {"PTZParameter", ptz_parameter_get_type, false, 7,
       "029d566a560d17e0cf855eddbae60d442f80b0a54929f91026f4b207c7017073"},
      {"PTZParameterGroup", ptz_parameter_group_get_type, false, 10,
       "de4e192beee2b9a6ab1d76f6c6e9ebf2b2a89ef504fde1d9dcc767dcf00c0dae"},
      {"PTZPortMode", ptz_port_mode_get_type, false, 6,
       "acc6a03ecb930ca21b21070488e91fc2537751f679f88f04289d76cdd1708322"},
      {"PTZBaudRate", ptz_baud_rate_get_type, false, 12,
       "daa814fa73815281958dad6dc8b6d54420916f6d451f83033f478c4e47f65967"},
      {"PTZDataBits", ptz_data_bits_get_type, false, 2,
       "975786ae816be35734a386ddcd6366e2fe104b7680c2ea7dcc90d0356204145a"},
      {"PTZStopBits", ptz_stop_bits_get_type, false, 2,
       "6981d7f400084ab205861a1d836b7f2810921b4f846be3bff5c2f3f6494e4cd1"},
      {"PTZParity", ptz_parity_get_type, false, 5, "597b997147ae16fceb076093500aab42cacfdd99abf15325702fce9332f3c6bf"},
      {"PTZPortType", ptz_port_type_get_type, false, 3,
       "1c8ee42d4556ab86d97f1b5fbe80048b2f748745f571d9d33253333e9550aa01"},
      {"PTZSCGroup", ptz_sc_group_get_type, false, 4,
       "7b4a67190c88018dfdcdfa4310a4e56ed37bc8d4c12d0207badb75ce2fa4cec0"},
      {"PTZSCParam", ptz_sc_param_get_type, false, 72,
       "efc7b0378f444486d0d6ab82b3ad50a7aca283fd5680ab7d610b289b389ea24d"},
      {"PTZDriverState", ptz_driver_state_get_type, false, 11,
       "e01c1ec4ab106c8caa309507311a8402224752cd45e5be44b0ae774bf5f159ed"},
      {"PTZDriverMoveCapabilities", ptz_driver_move_capabilities_get_type, true, 31,
       "9f7188bd8f01e6de4698a2d4dbadc32abf9faac0e609248c09599cea6c41baea"},
      {"PTZDriverExtraCapabilities", ptz_driver_extra_capabilities_get_type, true, 20,
       "fe6fdca9d3d3081f1c693968badca809a1b5a2f5c6907453cc0a00d9c0b504ea"},
  };
}
