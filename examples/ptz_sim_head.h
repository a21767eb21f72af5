/* The simulated pan/tilt head with its zoom lens: three axes that move
 * toward a target at a fixed rate, or continuously at a velocity, and stop
 * at their limits. Pure state, no I/O: the driver steps it on its main
 * loop with the time that has passed. */
#ifndef PTZ_SIM_HEAD_H
#define PTZ_SIM_HEAD_H

#include <glib.h>

#include "ptz_enum_types.h"

G_BEGIN_DECLS

typedef enum {
  PTZ_SIM_PAN,
  PTZ_SIM_TILT,
  PTZ_SIM_ZOOM,
  PTZ_SIM_AXES
} PtzSimAxisId;

typedef struct {
  double position;
  double target;   /* where a positioned move ends */
  double velocity; /* units per second of a continuous move */
  gboolean continuous;
  double min, max;
  double rate; /* units per second of a positioned move */
} PtzSimAxis;

typedef struct {
  PtzSimAxis axis[PTZ_SIM_AXES];
} PtzSimHead;

/* A head at rest at (0, 0) with the zoom at its minimum. */
void ptz_sim_head_init (PtzSimHead *head, double pan_tilt_speed, double zoom_speed, double min_pan,
                        double max_pan, double min_tilt, double max_tilt, double min_zoom,
                        double max_zoom);
/* Positioned moves; targets are clamped to the limits. */
void ptz_sim_head_move_to (PtzSimHead *head, double pan, double tilt, double zoom);
void ptz_sim_head_move_by (PtzSimHead *head, double pan, double tilt, double zoom);
/* Continuous move at percent (-100..100, clamped) of each axis's rate. */
void ptz_sim_head_move_continuous (PtzSimHead *head, double pan, double tilt, double zoom);
void ptz_sim_head_stop (PtzSimHead *head);
/* New speed of pan and tilt; a move under way goes on at the new speed. */
void ptz_sim_head_set_speed (PtzSimHead *head, double pan_tilt_speed);
/* New limits of one axis (min < max); position and target are pulled in. */
void ptz_sim_head_set_limits (PtzSimHead *head, PtzSimAxisId axis, double min, double max);
/* Advances the motion by `seconds`. */
void ptz_sim_head_step (PtzSimHead *head, double seconds);
gboolean ptz_sim_head_axis_moving (const PtzSimHead *head, PtzSimAxisId axis);
gboolean ptz_sim_head_moving (const PtzSimHead *head);
PTZMoveStatus ptz_sim_head_status (const PtzSimHead *head, PtzSimAxisId axis);

G_END_DECLS

#endif /* PTZ_SIM_HEAD_H */
