// The sediment-bound contaminants of the run's time loop: after the pipe
// network, on the overland constituent clock, the attached mass moves with
// the step's overland sediment and every cell's mass is split again
// between its water and its suspended fines (the kernel is
// quality/contaminant/sediment_contaminant.h).
#pragma once

namespace nivra {

struct model_state;

// One due step over every contaminant constituent; every gram moved is
// booked in the constituents' mass ledger: eroded with the soil, settled
// with the sediment, carried out on the sediment, and the exchange with
// the water (released from, sorbed onto the sediment).
void sediment_contaminant_source(model_state& ms);

// The suspended volumes the next step's attached transport starts from
// are the cells' as they stand now: called at the end of the step above
// and after every later process of the model step that moves the cells'
// suspended sediment (the channel step taking the channel cells' and the
// lake cells' fines, spilling wash load onto the cells).
void attached_volumes_follow_cells(model_state& ms);

// At the start of an event, once the cells' suspended sediment has
// settled: the mass attached to it settles with it onto the soil (the
// store attached_soil_store names), booked once as settled with the
// sediment.
void attached_settles_between_events(model_state& ms);

// After the storm sewer's step: the inlets took a share of some cells'
// suspended sediment, and that share of the mass attached to it goes with
// it into the pipe network, which holds it; booked once.
void cells_attached_to_pipes(model_state& ms);

// The mass attached to the sediment in the pipe network, kg.
double pipe_attached_mass(const model_state& ms, int c);

// The depth of the soil (cm) whose fines the erosion lifts: the mixing
// layer of the soil column, or without one of the MIXING_LAYER_DEPTH card.
double attached_mixing_depth_cm(const model_state& ms);

// The soil whose fines the erosion lifts, of constituent c under cell i:
// the top layer of the soil column, or without one the land surface (g).
double& attached_soil_store(model_state& ms, int c, int i);
// The part of it sorbed to the soil (g), and that per m3 of the fine soil
// solids of the mixing layer (g/m3; 0 without fines or sorbed mass).
double sorbed_soil_mass(model_state& ms, int c, int i);
double sorbed_per_fine_volume(model_state& ms, int c, int i);

// The mass attached to the cells' suspended sediment, kg.
double attached_mass(const model_state& ms, int c);

}  // namespace nivra
