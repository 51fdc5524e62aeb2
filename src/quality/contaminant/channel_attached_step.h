// The sediment-bound contaminants of the channel network in the run: the
// set-up, the step after every channel sediment step (the cells' attached
// mass into the nodes with their fines, the transport with the wash load,
// the split of every node and lake between water and fines), and the
// masses and totals of the books (the kernel is
// quality/contaminant/channel_attached.h).
#pragma once

#include "model/water_ledger.h"

namespace nivra {

struct model_state;

// With SEDIMENT_CONTAM on a channel network, after the channel sediment
// and the channel constituents are set up: the stores and the channel
// sediment's record of its moves.
void init_channel_attached(model_state& ms);

// Once after every channel sediment step: what the cells' fines brought
// (the attached mass of their suspended fines, and what the mixing layer's
// fines hold sorbed for the loose ones), the transport, and with channel
// constituent transport the partition of every node and lake; every gram
// is booked in the constituents' mass ledger.
void chan_sed_contam_step(model_state& ms);

// Once after every overland sediment step: the wash load the channel
// lakes let out onto their land cells takes the lake's attached mass per
// m3 of fines onto the cells' suspended fines.
void lakes_attached_to_cells(model_state& ms);

// The attached masses of the channels and the lakes at a moment, into the
// mass ledger; at an event's or the run's end also the summaries' totals.
void book_channel_attached_masses(model_state& ms, ledger_moment m);

// The attached mass of the channel nodes and of the lakes (suspended and
// settled) of constituent c, kg.
double channel_attached_mass(const model_state& ms, int c);
double lake_attached_mass(const model_state& ms, int c);

}  // namespace nivra
