#include "channel/channel_storage.h"

namespace nivra {

double channel_storage(const model_state& ms) {
  if (!ms.channel.chan_explic) return 0.0;
  double v = 0.0;
  for_each_channel_node(ms, [&v](int, int, double volume) { v += volume; });
  return v;
}

}  // namespace nivra
