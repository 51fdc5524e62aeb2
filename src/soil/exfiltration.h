// Exfiltration: the exchange between the ponded water of a cell and a water
// table that stands at or above its ground. Where the table stands above
// the water surface s = ground + ponded depth, groundwater rises through
// the soil onto the surface at a Darcy rate over the head dh = table - s;
// where the surface stands above the table, the ponded water seeps down
// into the aquifer at the deep-leakage rate (with saturated groundwater
// only). The soil scheme decides the rate over a step of dt seconds:
//
// - redistribution: dh x Ks / (accounting depth) x dt, Ks of the cell;
// - layered: dh x K / D x dt, K the conductivity and D the depth of the
//   first two layers of the cell's soil class;
// - Richards: with saturated groundwater the water the aquifer holds above
//   the surface, dh x Sy, spread over the groundwater step (dh x Sy x dt /
//   gw_dt); without, dh x (mean Ks of the column) / (column depth) x dt.
//
// Plain Green-Ampt has no soil layer between the table and the surface:
// its table is handled by the groundwater step.
//
// Units: m, s; conductivities of the soil classes and of the Richards
// columns in cm/h, depths in cm, as the soil component keeps them.
#pragma once

#include "core/arrays.h"
#include "model/water_ledger.h"

namespace nivra {

struct soil_class;

enum class exfiltration_form { redistribution, layered, richards };

// What the kernel reads and writes (1-based per-cell arrays; null when
// absent).
struct exfiltration_domain {
  int ncells = 0;
  double cell_area = 0.0;               // m2
  exfiltration_form form = exfiltration_form::redistribution;
  bool saturated_groundwater = false;   // the aquifer is simulated (else the table is held)
  const int* exfiltrating = nullptr;    // 1 where the table stands at or above the ground
  const double* water_table = nullptr;  // m
  const double* ground = nullptr;       // m
  double* ov_depth = nullptr;           // over the open part of the cell, m
  const int* boundary_type = nullptr;   // overland boundaries: fixed-level cells keep their depth
  const double* blocked = nullptr;      // blocked fraction per cell
  const int* channel_lake = nullptr;    // lake cells meet the table through their beds
  const int* overland_lake = nullptr;
  // The forms' soil.
  const double* conductivity = nullptr;         // redistribution: Ks, m/s
  double layer_depth = 0.0;                     // redistribution: accounting depth, cm
  const array1d<soil_class>* classes = nullptr; // layered: the soil table
  const int* soiltype = nullptr;                // layered: class per cell
  const double* storage = nullptr;              // Richards with an aquifer: storage coefficient
  double groundwater_dt = 0.0;                  // Richards with an aquifer: its step, s
  const double* column_conductivity = nullptr;  // Richards without: mean Ks of the column, cm/h
  const double* column_depth = nullptr;         // Richards without: depth of the column, cm
  double leakage = 0.0;                         // deep leakage, m/s
  // Per cell, with an aquifer: the water it gave (m over the cell; negative:
  // took), which its next solve takes out of its heads.
  double* aquifer_change = nullptr;
  double* exfiltrated_depth = nullptr;          // per cell: running sum, m over the open part
  double* exfiltrated_volume = nullptr;         // per cell: running sum, m3 (negative: seeped down)
};

// What a call moved, m3.
struct exfiltration_books {
  double exfiltration = 0.0;   // net: onto the surface (negative: seeped down)
  double boundary_out = 0.0;   // arrived on fixed-level cells and left there
  double boundary_in = 0.0;    // seeped down from fixed-level cells, which the boundary supplied
};

inline constexpr books_map<exfiltration_books, 3> exfiltration_books_terms{{{
    {&exfiltration_books::exfiltration, water_flux::exfiltration},
    {&exfiltration_books::boundary_out, water_flux::head_boundary_out},
    {&exfiltration_books::boundary_in, water_flux::head_boundary_in},
}}};

// The exchange of every exfiltrating cell over dt seconds. A cell never
// gives the aquifer more than it holds ponded, and an aquifer never gives
// more than it holds above the water surface (dh x its storage coefficient).
exfiltration_books exfiltrate(const exfiltration_domain& d, double dt);

}  // namespace nivra
