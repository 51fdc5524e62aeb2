// The water in the pipe network (storm sewers and tile drains): what its
// pipes and superjunctions hold after the last pipe step, and what its
// outfalls delivered toward channel nodes that the channels have not taken
// yet.
#pragma once

#include "pipe/pipe_state.h"

namespace nivra {

// Water in the drains (m3).
inline double pipe_storage(const pipe_state& p) { return p.sl_drain_vol + p.chan_sl_pending; }

}  // namespace nivra
