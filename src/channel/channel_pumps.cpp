// The channel pumps of the PUMPTO cards, once per channel step.
#include "channel/channel_pumps.h"

#include <algorithm>
#include <utility>

#include "channel/channel_sections.h"
#include "channel/channel_state.h"
#include "core/errors.h"
#include "core/process.h"

namespace nivra {

bool apply_channel_pumps(channel_state& ch, double dt, double model_time) {
  // The pumps run in file order, each from what the ones before it left.
  for (const channel_pump& p : ch.structures.stream_pumps) {
    double& from = ch.area(p.node, p.link);
    const double dx_from = ch.link_dx[p.link];
    const double held = std::max(from, 0.0) * dx_from;
    const double depth = ch.yp(p.node, p.link) - ch.bel(p.node, p.link);
    const double wanted = p.rating.rate(depth, model_time) * dt;
    const double v = std::min(std::max(wanted, 0.0), held);
    if (v <= 0.0) continue;
    from = v < held ? from - v / dx_from : 0.0;
    ch.area(p.to_node, p.to_link) += v / ch.link_dx[p.to_link];
    // The depths the next pump sees.
    for (const auto& [l, k] : {std::pair{p.link, p.node}, std::pair{p.to_link, p.to_node}}) {
      double y = 0.0, conv = 0.0;
      bool exceeded = false;
      double& a = ch.area(k, l);
      const section_status s = depth_at_area(ch, l, k, a, y, conv, exceeded);
      if (s != section_status::ok) {
        print_section_fault(s, k, l);
        set_error(own_message_code);
        report_error();
        return false;
      }
      ch.chan_depth(k, l) = y;
      ch.yp(k, l) = ch.bel(k, l) + y;
      ch.conv(k, l) = conv;
    }
  }
  return true;
}

}  // namespace nivra
