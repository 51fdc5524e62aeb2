// A conservative tracer in the rain on a plane that gathers its water into
// a corner outlet: the water every face moves carries the tracer, so the
// rain's concentration stays the concentration of every wet cell, under
// every overland scheme, on a plain grid and on one with a marsh (which
// every scheme routes by its general path), and the tracer's books close.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "core/process.h"
#include "model/mass_ledger.h"
#include "quality/constituent_state.h"
#include "quality/constituent_terms.h"
#include "quality/contaminant/overland_constituent_step.h"
#include "run/run_test_support.h"

namespace nivra {
namespace {

using testing::run_storm;
using testing::table_row;
using testing::write_file;

class TracerRun : public testing::process_test {};

constexpr int side = 12;  // cells along a side of the plane
constexpr double rain_conc = 5.0;  // g/m3

// The plane, 12 x 12 cells of 10 m falling 0.8 % to the south and to the
// east, its outlet at the south-east corner on a gentle slope (0.001): the
// water runs diagonally, gathers along the southern and eastern edges and
// stands deep enough at the corner that the explicit scheme steps it on
// sub-steps shorter than the step. Every cell is of land use
// 1; the mapping table gives one tracer with dispersion 0.5 m2/s and no
// decay, land load or exchange, in rain at 5 g/m3. 50 mm/h for 30 minutes,
// 45 minutes in all, on 10 s steps. With `marsh`, a marsh of 2 x 4 cells
// (rows 6 and 7, columns 5 to 8) lies across the water's way, its bottom
// 20 mm below the ground, dry at the start, with a 10 mm layer of reeds.
void tracer_plane(const std::string& overtype, bool marsh = false) {
  std::string head = "north: 120.0\nsouth: 0.0\neast: 120.0\nwest: 0.0\nrows: 12\ncols: 12\n";
  std::string mask = head, ground = head, uses = head, wetlands = head;
  char v[32];
  for (int r = 1; r <= side; ++r) {
    for (int c = 1; c <= side; ++c) {
      std::snprintf(v, sizeof v, "%.3f", 100.0 - 0.08 * r - 0.08 * c);
      const char* sep = c < side ? " " : "\n";
      mask += std::string("1") + sep;
      uses += std::string("1") + sep;
      wetlands += std::string(r >= 6 && r <= 7 && c >= 5 && c <= 8 ? "1" : "0") + sep;
      ground += std::string(v) + sep;
    }
  }
  write_file("tracer.msk", mask);
  write_file("tracer.ele", ground);
  write_file("landuse.idx", uses);
  if (marsh) write_file("marsh.idx", wetlands);
  write_file("tracer.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP landuse.idx \"Land use\"\n" +
                               std::string(marsh ? "INDEX_MAP marsh.idx \"Wetlands\"\n" : "") +
                               "CONTAMINANT_TRANSPORT\n"
                               "NUM_CONTAM 1\n\"Tracer\" \"Land use\" \"tracer.out\"\nPRECIP_CONC 5.0\nPARTITION 0.0\n"
                               "NUM_IDS 1\n" +
                               table_row("ID", "", "K") + table_row("1", "Field", "0.5 0.0 0 0 0 0 0 0") +
                               (marsh ? "WETLAND_PROPERTIES \"Wetlands\"\nNUM_IDS 1\n" +
                                            table_row("ID", "DESCRIPTION", "DEPTH_MM LAYER_MM KW_M_DAY BLEND_MM "
                                                                           "CW_M_DAY MANNING_N OFFSET_MM") +
                                            table_row("1", "Reeds", "0.0 10.0 43200.0 20.0 172800.0 0.2 20.0")
                                      : std::string()));
  write_file("tracer.prj", "NIVRAPROJECT\nWATERSHED_MASK tracer.msk\nELEVATION tracer.ele\nROWS 12\nCOLS 12\n"
                           "GRIDSIZE 10.0\nOUTROW 12\nOUTCOL 12\nOUTSLOPE 0.001\nMANNING_N 0.03\nOVERTYPE " +
                               overtype +
                               "\nTOT_TIME 45\nTIMESTEP 10.0\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\n"
                               "RAIN_INTENSITY 50.0\nRAIN_DURATION 30\nHYD_FREQ 5.0\nMAPPING_TABLE tracer.cmt\n"
                               "OV_CON_TRANS\nSUMMARY tracer.sum\nOUTLET_HYDRO tracer.otl\n");
}

TEST_F(TracerRun, EveryWetCellKeepsTheRainsConcentrationUnderEveryScheme) {
  for (const bool marsh : {false, true})
  for (const char* overtype : {"EXPLICIT", "ADE", "ADE-PC"}) {
    SCOPED_TRACE(std::string(overtype) + (marsh ? " with a marsh" : " on the plain grid"));
    reset_process_state();
    tracer_plane(overtype, marsh);
    // The largest departure of a wet cell's concentration from the rain's,
    // over every step, and the cell and step where it was.
    double worst = 0.0;
    int worst_cell = 0, worst_step = 0, steps = 0, wet_steps = 0;
    const auto r = run_storm("tracer.prj", {}, 100000, [&](const model_state& ms) {
      ++steps;
      const constituent_state& k = ms.constituent;
      bool wet = false;
      for (int i = 1; i <= ms.grid.ncells; ++i) {
        if (!(ms.overland.ov_depth[i] > 1e-9)) continue;
        wet = true;
        const double off = std::fabs(k.ov_conc(1, i) / rain_conc - 1.0);
        if (off > worst) {
          worst = off;
          worst_cell = i;
          worst_step = steps;
        }
      }
      wet_steps += wet;
    });
    ASSERT_TRUE(r.ended) << r.console;
    EXPECT_GT(wet_steps, 200);
    EXPECT_LT(worst, 1e-4) << "cell " << worst_cell << ", step " << worst_step;
    // Nothing was driven below zero, and the tracer's books close: the rain
    // is what left through the outlet and what the cells still hold.
    const mass_ledger& books = *r.ms->constituent.mass_books;
    const double rain = books.run_total(1, row(constituent_term::rain_on_cells));
    const double out = books.run_total(1, row(constituent_term::overland_outlet));
    EXPECT_NEAR(rain, 0.05 / 2.0 * side * side * 100.0 * rain_conc / 1000.0, 1e-9 * rain);
    EXPECT_EQ(books.run_total(1, row(constituent_term::overland_negative_reset)), 0.0);
    EXPECT_GT(out, 0.5 * rain);
    EXPECT_NEAR(rain - out - overland_water_mass(*r.ms, 1), 0.0, 1e-10 * rain);
    const mass_balance_sums whole =
        books.run_balance_of(1, {mass_compartment::overland_water, mass_compartment::soil_column});
    EXPECT_NEAR(whole.residual(), 0.0, 1e-10 * rain);
  }
}

}  // namespace
}  // namespace nivra
