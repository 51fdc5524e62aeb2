// The water in the pipe network (storm sewers and tile drains). The pipe
// solver keeps the volume its drains hold; the network reports it.
#pragma once

#include "channel/pipe_state.h"

namespace nivra {

// Water in the drains (m3).
inline double pipe_storage(const pipe_state& p) { return p.sl_drain_vol; }

}  // namespace nivra
