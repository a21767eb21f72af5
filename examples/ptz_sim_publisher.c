/* Status-cache publication and timing logs of the simulated driver. */
#define _POSIX_C_SOURCE 200809L
#include "ptz_sim_publisher.h"

#include <time.h>

typedef struct {
  gint64 seconds;
  gint64 nanoseconds;
} TimeValue;

struct _PtzSimPublisher {
  PtzSimPublisherConfig config;
  PTZStatusCacheGroup *position, *various, *limits;

  /* The variables the group descriptions point at. */
  gfloat pan_deg, tilt_deg, zoom_mag;
  gint32 status[PTZ_SIM_AXES];
  gint32 update_rate;
  guint32 time_val[2];                    /* seconds, microseconds */
  TimeValue idle_time[2], moving_time[2]; /* pan and tilt transitions */
  gint32 pan_flipped, tilt_flipped, auto_flipping, preset_move;
  gint32 limit[6]; /* min/max pan, tilt, zoom */
};

static const guint32 status_params[PTZ_SIM_AXES] = {
  PTZ_SC_PARAM_POSITION_PAN_STATUS,
  PTZ_SC_PARAM_POSITION_TILT_STATUS,
  PTZ_SC_PARAM_POSITION_ZOOM_STATUS,
};
static const guint32 idle_params[2] = {
  PTZ_SC_PARAM_POSITION_PAN_STATUS_IDLE_TIME,
  PTZ_SC_PARAM_POSITION_TILT_STATUS_IDLE_TIME,
};
static const guint32 moving_params[2] = {
  PTZ_SC_PARAM_POSITION_PAN_STATUS_MOVING_TIME,
  PTZ_SC_PARAM_POSITION_TILT_STATUS_MOVING_TIME,
};
static const guint32 limit_params[6] = {
  PTZ_SC_PARAM_LIMIT_MIN_PAN,  PTZ_SC_PARAM_LIMIT_MAX_PAN,  PTZ_SC_PARAM_LIMIT_MIN_TILT,
  PTZ_SC_PARAM_LIMIT_MAX_TILT, PTZ_SC_PARAM_LIMIT_MIN_ZOOM, PTZ_SC_PARAM_LIMIT_MAX_ZOOM,
};

static TimeValue
now_monotonic (void)
{
  struct timespec ts = { 0, 0 };
  TimeValue value;
  clock_gettime (CLOCK_MONOTONIC, &ts);
  value.seconds = ts.tv_sec;
  value.nanoseconds = ts.tv_nsec;
  return value;
}

static PTZStatusCacheGroup *
setup (PTZSCGroup group, guint32 index, guint32 count, const guint32 *params, gpointer *data)
{
  PTZStatusCacheGroup *description = ptz_status_cache_setup_group (group, index, count);
  guint32 i;
  for (i = 0; description != NULL && i < count; i++)
    if (!ptz_status_cache_add_param (description, params[i], data[i])) {
      ptz_status_cache_free_group (description);
      description = NULL;
    }
  return description;
}

static gboolean
setup_groups (PtzSimPublisher *p)
{
  guint32 position_params[8 + 4] = {
    PTZ_SC_PARAM_POSITION_PAN,
    PTZ_SC_PARAM_POSITION_TILT,
    PTZ_SC_PARAM_POSITION_MZOOM,
    status_params[0],
    status_params[1],
    status_params[2],
    PTZ_SC_PARAM_POSITION_UPDATE_RATE,
    PTZ_SC_PARAM_POSITION_TIME_VAL,
    idle_params[0],
    idle_params[1],
    moving_params[0],
    moving_params[1],
  };
  gpointer position_data[8 + 4] = {
    &p->pan_deg,      &p->tilt_deg,     &p->zoom_mag,       &p->status[0],
    &p->status[1],    &p->status[2],    &p->update_rate,    p->time_val,
    &p->idle_time[0], &p->idle_time[1], &p->moving_time[0], &p->moving_time[1],
  };
  guint32 various_params[4] = {
    PTZ_SC_PARAM_VARIOUS_PAN_FLIPPED,
    PTZ_SC_PARAM_VARIOUS_TILT_FLIPPED,
    PTZ_SC_PARAM_VARIOUS_AUTO_FLIPPING,
    PTZ_SC_PARAM_VARIOUS_PT_PRESET_MOVE,
  };
  gpointer various_data[4] = { &p->pan_flipped, &p->tilt_flipped, &p->auto_flipping,
                               &p->preset_move };
  gpointer limit_data[6];
  int i;
  for (i = 0; i < 6; i++)
    limit_data[i] = &p->limit[i];

  p->position = setup (PTZ_SC_GROUP_POSITION, p->config.index, G_N_ELEMENTS (position_params),
                       position_params, position_data);
  p->various = setup (PTZ_SC_GROUP_VARIOUS, p->config.index, G_N_ELEMENTS (various_params),
                      various_params, various_data);
  p->limits = setup (PTZ_SC_GROUP_LIMIT, p->config.index, G_N_ELEMENTS (limit_params), limit_params,
                     limit_data);
  return p->position != NULL && p->various != NULL && p->limits != NULL;
}

PtzSimPublisher *
ptz_sim_publisher_new (const PtzSimPublisherConfig *config, const PtzSimHead *head)
{
  PtzSimPublisher *p = g_new0 (PtzSimPublisher, 1);
  int i;

  p->config = *config;
  p->update_rate = config->update_rate;
  p->pan_flipped = config->pan_flipped;
  p->tilt_flipped = config->tilt_flipped;
  p->auto_flipping = config->auto_flip;
  for (i = 0; i < PTZ_SIM_AXES; i++)
    p->status[i] = PTZ_MOVE_STATUS_IDLE;
  p->idle_time[0] = p->idle_time[1] = now_monotonic ();

  if (!setup_groups (p)) {
    ptz_sim_publisher_free (p);
    return NULL;
  }
  /* Every reader finds complete groups, also for the values not
   * published here. */
  ptz_status_cache_create_group (PTZ_SC_GROUP_POSITION, config->index);
  ptz_status_cache_create_group (PTZ_SC_GROUP_VARIOUS, config->index);
  ptz_status_cache_create_group (PTZ_SC_GROUP_LIMIT, config->index);
  if (!ptz_status_cache_update_group (p->various) || !ptz_sim_publisher_limits (p, head) ||
      !ptz_sim_publisher_position (p, head)) {
    ptz_sim_publisher_free (p);
    return NULL;
  }
  log_counter_reset (1, PTZ_SIM_COUNTER_PREFIX);
  return p;
}

void
ptz_sim_publisher_free (PtzSimPublisher *p)
{
  if (p == NULL)
    return;
  ptz_status_cache_free_group (p->position);
  ptz_status_cache_free_group (p->various);
  ptz_status_cache_free_group (p->limits);
  g_free (p);
}

gboolean
ptz_sim_publisher_position (PtzSimPublisher *p, const PtzSimHead *head)
{
  TimeValue now = now_monotonic ();
  int i;
  p->pan_deg = (gfloat) head->axis[PTZ_SIM_PAN].position;
  p->tilt_deg = (gfloat) head->axis[PTZ_SIM_TILT].position;
  p->zoom_mag = (gfloat) head->axis[PTZ_SIM_ZOOM].position;
  for (i = 0; i < PTZ_SIM_AXES; i++) {
    gint32 status = ptz_sim_head_status (head, (PtzSimAxisId) i);
    if (i < 2 && status != p->status[i]) {
      if (status == PTZ_MOVE_STATUS_MOVING)
        p->moving_time[i] = now;
      else
        p->idle_time[i] = now;
    }
    p->status[i] = status;
  }
  p->time_val[0] = (guint32) now.seconds;
  p->time_val[1] = (guint32) (now.nanoseconds / 1000);
  return ptz_status_cache_update_group (p->position);
}

gboolean
ptz_sim_publisher_limits (PtzSimPublisher *p, const PtzSimHead *head)
{
  int i;
  for (i = 0; i < PTZ_SIM_AXES; i++) {
    p->limit[2 * i] = (gint32) head->axis[i].min;
    p->limit[2 * i + 1] = (gint32) head->axis[i].max;
  }
  return ptz_status_cache_update_group (p->limits);
}

gboolean
ptz_sim_publisher_preset_move (PtzSimPublisher *p, gboolean preset_move)
{
  p->preset_move = preset_move ? 1 : 0;
  return ptz_status_cache_update_group (p->various);
}

/* The driver timing groups are picked by the driver number's last digit. */
static void
reset_timer (PtzSimPublisher *p, const gchar *measurement)
{
  gint32 digit = p->config.driver_number % 10;
  if (digit == 1 || digit == 2) {
    gchar *group = g_strdup_printf ("ptzdt_driver_%s_d%d", measurement, digit);
    log_time_reset (group);
    g_free (group);
  }
}

void
ptz_sim_publisher_request_started (PtzSimPublisher *p)
{
  reset_timer (p, "req");
  log_time_start_driver_req (p->config.driver_number);
}

void
ptz_sim_publisher_request_done (PtzSimPublisher *p, guint16 served)
{
  log_time_stop_driver_req (p->config.driver_number);
  log_counter_update (1, PTZ_SIM_COUNTER_PREFIX, served);
}

void
ptz_sim_publisher_move_started (PtzSimPublisher *p)
{
  reset_timer (p, "move");
  log_time_start_driver_move (p->config.driver_number);
}

void
ptz_sim_publisher_move_done (PtzSimPublisher *p)
{
  log_time_stop_driver_move (p->config.driver_number);
}
