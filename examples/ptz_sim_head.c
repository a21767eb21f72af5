/* Motion of the simulated head. */
#include "ptz_sim_head.h"

static void
axis_init (PtzSimAxis *axis, double min, double max, double rate, double position)
{
  axis->min = min;
  axis->max = max;
  axis->rate = rate;
  axis->position = CLAMP (position, min, max);
  axis->target = axis->position;
  axis->velocity = 0;
  axis->continuous = FALSE;
}

void
ptz_sim_head_init (PtzSimHead *head, double pan_tilt_speed, double zoom_speed, double min_pan,
                   double max_pan, double min_tilt, double max_tilt, double min_zoom,
                   double max_zoom)
{
  axis_init (&head->axis[PTZ_SIM_PAN], min_pan, max_pan, pan_tilt_speed, 0);
  axis_init (&head->axis[PTZ_SIM_TILT], min_tilt, max_tilt, pan_tilt_speed, 0);
  axis_init (&head->axis[PTZ_SIM_ZOOM], min_zoom, max_zoom, zoom_speed, min_zoom);
}

static void
axis_aim (PtzSimAxis *axis, double target)
{
  axis->continuous = FALSE;
  axis->velocity = 0;
  axis->target = CLAMP (target, axis->min, axis->max);
}

void
ptz_sim_head_move_to (PtzSimHead *head, double pan, double tilt, double zoom)
{
  axis_aim (&head->axis[PTZ_SIM_PAN], pan);
  axis_aim (&head->axis[PTZ_SIM_TILT], tilt);
  axis_aim (&head->axis[PTZ_SIM_ZOOM], zoom);
}

void
ptz_sim_head_move_by (PtzSimHead *head, double pan, double tilt, double zoom)
{
  double offsets[PTZ_SIM_AXES] = { pan, tilt, zoom };
  int i;
  for (i = 0; i < PTZ_SIM_AXES; i++)
    axis_aim (&head->axis[i], head->axis[i].position + offsets[i]);
}

void
ptz_sim_head_move_continuous (PtzSimHead *head, double pan, double tilt, double zoom)
{
  double percent[PTZ_SIM_AXES] = { pan, tilt, zoom };
  int i;
  for (i = 0; i < PTZ_SIM_AXES; i++) {
    PtzSimAxis *axis = &head->axis[i];
    axis->velocity = CLAMP (percent[i], -100.0, 100.0) * axis->rate / 100.0;
    axis->continuous = axis->velocity != 0;
    axis->target = axis->position;
  }
}

void
ptz_sim_head_stop (PtzSimHead *head)
{
  int i;
  for (i = 0; i < PTZ_SIM_AXES; i++)
    axis_aim (&head->axis[i], head->axis[i].position);
}

void
ptz_sim_head_set_speed (PtzSimHead *head, double pan_tilt_speed)
{
  int i;
  for (i = PTZ_SIM_PAN; i <= PTZ_SIM_TILT; i++) {
    PtzSimAxis *axis = &head->axis[i];
    if (axis->continuous && axis->rate > 0)
      axis->velocity *= pan_tilt_speed / axis->rate;
    axis->rate = pan_tilt_speed;
  }
}

void
ptz_sim_head_set_limits (PtzSimHead *head, PtzSimAxisId id, double min, double max)
{
  PtzSimAxis *axis = &head->axis[id];
  axis->min = min;
  axis->max = max;
  axis->position = CLAMP (axis->position, min, max);
  axis->target = CLAMP (axis->target, min, max);
}

static void
axis_step (PtzSimAxis *axis, double seconds)
{
  if (axis->continuous) {
    axis->position += axis->velocity * seconds;
    if (axis->position <= axis->min || axis->position >= axis->max) {
      /* Ran into a limit: the move ends there. */
      axis_aim (axis, axis->position);
      axis->position = axis->target;
    }
    axis->target = axis->position;
  } else {
    double left = axis->target - axis->position;
    double reach = axis->rate * seconds;
    if (left > reach)
      axis->position += reach;
    else if (left < -reach)
      axis->position -= reach;
    else
      axis->position = axis->target;
  }
}

void
ptz_sim_head_step (PtzSimHead *head, double seconds)
{
  int i;
  if (seconds <= 0)
    return;
  for (i = 0; i < PTZ_SIM_AXES; i++)
    axis_step (&head->axis[i], seconds);
}

gboolean
ptz_sim_head_axis_moving (const PtzSimHead *head, PtzSimAxisId id)
{
  const PtzSimAxis *axis = &head->axis[id];
  return axis->continuous || axis->position != axis->target;
}

gboolean
ptz_sim_head_moving (const PtzSimHead *head)
{
  int i;
  for (i = 0; i < PTZ_SIM_AXES; i++)
    if (ptz_sim_head_axis_moving (head, (PtzSimAxisId) i))
      return TRUE;
  return FALSE;
}

PTZMoveStatus
ptz_sim_head_status (const PtzSimHead *head, PtzSimAxisId axis)
{
  return ptz_sim_head_axis_moving (head, axis) ? PTZ_MOVE_STATUS_MOVING : PTZ_MOVE_STATUS_IDLE;
}
