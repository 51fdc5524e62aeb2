// The channel step of the time loop.
#include "channel/channel_state.h"
#include "core/errors.h"
#include "model/model_state.h"
#include "run/steps.h"
#include "run/time_loop.h"

namespace nivra {

// The network is read and set up, but this version does not route it: the
// run stops at the first step that would route the channels, so that no
// channel is accepted and then left dry.
void channel_routing_step(model_state& ms) {
  if (!ms.channel.chan_explic || !is_due(ms, ms.clock.chan_next_time)) return;
  report_card_not_available("CHAN_EXPLIC");
}

}  // namespace nivra
