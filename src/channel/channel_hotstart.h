// The companion of a channel hot-start: what the `.dht` and `.qht` files
// (a water surface and a discharge per routed node) cannot hold, written
// beside them as `name.state` and read back by READ_CHAN_HOTSTART:
//
//   NIVRA_CHANNEL_STATE
//   OUTLET q                     the outlet discharge of the last step
//                                (m3/s), the first line of the next run's
//                                hydrographs (none: the outlet node's)
//   LAKES n                      the channel lakes of the network
//   LAKE lake level volume area cells
//                                a channel lake's level (m), volume (m3),
//                                area (m2) and the cells it counts
//   CELL lake row column         a cell under the lake (one line per cell)
//   TAKEN link routed lake       a link whose nodes below its first `routed`
//                                a lake holds (lake capture)
//   SEDIMENT classes             the sediment classes carried (0: none)
//   NODE link node s1 w1 ... sn wn
//                                per class the sediment a node stores and
//                                what waits to enter it (m3)
//   LAKE_SEDIMENT lake u1 d1 a1 ... un dn an
//                                per class a lake's suspended, settled and
//                                arriving sediment (m3)
//   BED link node bed moved layer
//                                an erodible node's bed (m), the bed its
//                                sand gives (m) and its sand layer (m)
//   OUTLET_SEDIMENT r1 ... rn    per class the sediment the outlet passed in
//                                the last step (m3/s), the first line of the
//                                next run's outlet sediment series
//   END
//
// Lines starting with # are comments. Every number is checked, every lake,
// cell, link and node must exist, none may be given twice, and the file
// must end with END (a file cut short stops the run).
#pragma once

#include <cstdio>

#include "core/arrays.h"

namespace nivra {

struct channel_state;
struct channel_sediment;
struct chan_sed_classes;
struct grid_state;
struct lake_state;
class guarded_file;

// What left the outlet in the last step: the discharge (m3/s) and, with
// channel sediment, the sediment rates (m3/s) per fine position (0 their
// total) and per sand position (the last their total).
struct channel_outlet {
  double q = 0.0;
  const array1d<double>* fine = nullptr;
  const array1d<double>* sand = nullptr;
};

// Writes the companion of the run's channel state to f: the outlet's
// discharge, the channel lakes, the nodes they hold and, with channel
// sediment (sed and the outlet's rates not null), the sediment of the
// nodes, the lakes and the erodible beds and what the outlet passed.
void write_channel_state_file(std::FILE* f, const channel_state& ch, const lake_state& lakes,
                              const grid_state& grid, const channel_sediment* sed, const channel_outlet& outlet);

// Reads the companion into ch.carried, checking it against the network,
// the lakes and the grid. False after a message naming the file and line:
// the run is stopped.
bool read_channel_state_file(guarded_file& f, channel_state& ch, const lake_state& lakes, const grid_state& grid);

// After the channel lakes are set up from the channel input file: the
// carried lakes take their levels, volumes, areas and cells.
void apply_carried_lakes(const channel_state& ch, lake_state& lakes);

// After the node arrays are sized: the nodes the lakes held stay held (the
// link routes its first nodes only, or is taken whole).
void apply_carried_capture(channel_state& ch, lake_state& lakes);

// After the channel sediment is set up: the carried sediment takes the
// place of the initial sand. classes is the run's number of sediment
// classes; a companion that carries another number stops the run. False
// after the message.
bool apply_carried_sediment(channel_state& ch, int lakes, channel_sediment& sed, int classes);

// The outlet's carried sediment rates (none carried: 0) into the rates
// the outlet sediment series starts with (sized per outlet_sediment_rates).
void apply_carried_outlet_sediment(const channel_state& ch, const chan_sed_classes& c, array1d<double>& fine,
                                   array1d<double>& sand);

}  // namespace nivra
