// Motion of the example driver's simulated head: positioned moves at the
// configured rate, continuous moves that end at a limit, speed and limit
// changes while a move is under way.
#include <gtest/gtest.h>

extern "C" {
#include "examples/ptz_sim_head.h"
}

namespace {

class SimHeadTest : public ::testing::Test {
 protected:
  void SetUp() override { ptz_sim_head_init(&head_, 10, 2, -100, 100, -50, 50, 1, 5); }
  double pos(PtzSimAxisId axis) const { return head_.axis[axis].position; }
  PtzSimHead head_;
};

TEST_F(SimHeadTest, PositionedMovesRunAtTheirRateAndStopAtTheClampedTarget) {
  ptz_sim_head_move_to(&head_, 25, -500, 3);
  EXPECT_DOUBLE_EQ(head_.axis[PTZ_SIM_TILT].target, -50);
  ptz_sim_head_step(&head_, 1.0);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_PAN), 10);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_TILT), -10);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_ZOOM), 3);
  EXPECT_EQ(ptz_sim_head_status(&head_, PTZ_SIM_ZOOM), PTZ_MOVE_STATUS_IDLE);
  EXPECT_EQ(ptz_sim_head_status(&head_, PTZ_SIM_PAN), PTZ_MOVE_STATUS_MOVING);
  ptz_sim_head_step(&head_, 10.0);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_PAN), 25);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_TILT), -50);
  EXPECT_FALSE(ptz_sim_head_moving(&head_));

  // Relative moves count from where the head is, not from the last target.
  ptz_sim_head_move_to(&head_, 100, -50, 3);
  ptz_sim_head_step(&head_, 1.0);
  ptz_sim_head_move_by(&head_, -5, 0, 0);
  EXPECT_DOUBLE_EQ(head_.axis[PTZ_SIM_PAN].target, 30);
}

TEST_F(SimHeadTest, ContinuousMovesEndAtALimitAndFollowSpeedChanges) {
  ptz_sim_head_move_continuous(&head_, 50, -300, 0);
  EXPECT_DOUBLE_EQ(head_.axis[PTZ_SIM_TILT].velocity, -10);  // percent clamped to -100
  EXPECT_EQ(ptz_sim_head_status(&head_, PTZ_SIM_ZOOM), PTZ_MOVE_STATUS_IDLE);
  ptz_sim_head_step(&head_, 2.0);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_PAN), 10);
  ptz_sim_head_set_speed(&head_, 20);
  ptz_sim_head_step(&head_, 1.0);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_PAN), 20);
  // Tilt ran into its limit: there it rests, while pan goes on.
  ptz_sim_head_step(&head_, 5.0);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_TILT), -50);
  EXPECT_EQ(ptz_sim_head_status(&head_, PTZ_SIM_TILT), PTZ_MOVE_STATUS_IDLE);
  EXPECT_EQ(ptz_sim_head_status(&head_, PTZ_SIM_PAN), PTZ_MOVE_STATUS_MOVING);
  ptz_sim_head_stop(&head_);
  EXPECT_FALSE(ptz_sim_head_moving(&head_));
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_PAN), 70);
}

TEST_F(SimHeadTest, NarrowerLimitsPullPositionAndTargetIn) {
  ptz_sim_head_move_to(&head_, 90, 0, 1);
  ptz_sim_head_step(&head_, 8.0);
  ptz_sim_head_set_limits(&head_, PTZ_SIM_PAN, -20, 40);
  EXPECT_DOUBLE_EQ(pos(PTZ_SIM_PAN), 40);
  EXPECT_DOUBLE_EQ(head_.axis[PTZ_SIM_PAN].target, 40);
  EXPECT_FALSE(ptz_sim_head_moving(&head_));
}

}  // namespace
