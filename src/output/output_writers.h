// The output writers of a run: gridded datasets, link/node files, time
// series and maps.
#pragma once

namespace nivra {

struct model_state;

void init_grid_dataset_output(model_state& ms);
void init_linknode_output(model_state& ms);
void write_time_series_output(model_state& ms);
void write_map_output(model_state& ms);

}  // namespace nivra
