/* What the driver publishes in the shared status cache: the Position group
 * (position, motion statuses and their transition times, update rate, time
 * of the sample), the Various group (mounting flips, automatic flipping, a
 * preset move under way) and the Limit group, all under one index; and the
 * diagnostics of the timing and counter logs. */
#ifndef PTZ_SIM_PUBLISHER_H
#define PTZ_SIM_PUBLISHER_H

#include <velmora_common.h>

#include "ptz_sim_head.h"

G_BEGIN_DECLS

/* Counter of the requests served: group "ptzsim_requests1". */
#define PTZ_SIM_COUNTER_PREFIX "ptzsim_requests"

typedef struct _PtzSimPublisher PtzSimPublisher;

typedef struct {
  guint32 index;        /* the status-cache index ("IS<index>") */
  gint32 driver_number; /* selects the driver timing groups */
  gint32 update_rate;   /* samples per second */
  gboolean pan_flipped, tilt_flipped, auto_flip;
} PtzSimPublisherConfig;

/* Writes the groups' defaults, then the head's state and limits. NULL when
 * a group description cannot be set up. */
PtzSimPublisher *ptz_sim_publisher_new (const PtzSimPublisherConfig *config,
                                        const PtzSimHead *head);
void ptz_sim_publisher_free (PtzSimPublisher *publisher);

/* One sample of the head's position and statuses. */
gboolean ptz_sim_publisher_position (PtzSimPublisher *publisher, const PtzSimHead *head);
gboolean ptz_sim_publisher_limits (PtzSimPublisher *publisher, const PtzSimHead *head);
gboolean ptz_sim_publisher_preset_move (PtzSimPublisher *publisher, gboolean preset_move);

/* Timing logs: a request from its arrival to its reply, a move from its
 * start to the head's rest; the request counter. */
void ptz_sim_publisher_request_started (PtzSimPublisher *publisher);
void ptz_sim_publisher_request_done (PtzSimPublisher *publisher, guint16 served);
void ptz_sim_publisher_move_started (PtzSimPublisher *publisher);
void ptz_sim_publisher_move_done (PtzSimPublisher *publisher);

G_END_DECLS

#endif /* PTZ_SIM_PUBLISHER_H */
