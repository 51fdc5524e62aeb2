#include <gtest/gtest.h>

#include <cstdlib>

#include "quality/constituent_terms.h"

#include <cstdio>
#include <memory>
#include <string>

#include "channel/channel_state.h"
#include "clock/clock_state.h"
#include "hydromet/hydromet_state.h"
#include "model/mass_ledger.h"
#include "model/water_ledger.h"
#include "output/event_summary.h"
#include "output/output_state.h"
#include "quality/constituent_state.h"
#include "run/run_test_support.h"
#include "soil/soil_state.h"
#include "summary_fixture.h"
#include "surface/overland_state.h"

namespace nivra {
namespace {

using testing::has;

// One summary line written to a scratch file and read back.
std::string summary_line(const char* label, double value, const char* format, int extra = 0) {
  std::FILE* f = std::tmpfile();
  write_summary_line(f, label, value, 50, format, '.', 14, extra);
  std::rewind(f);
  std::string text;
  for (int ch; (ch = std::fgetc(f)) != EOF;) text.push_back(static_cast<char>(ch));
  std::fclose(f);
  return text;
}

TEST(SummaryLine, DecimalPointLandsInColumn66) {
  EXPECT_EQ(summary_line("Soil decay mass", 12.5, "%14.2lf"),
            "Soil decay mass " + std::string(34, '.') + std::string(4, ' ') + "         12.50\n");
  struct row {
    const char* label;
    double value;
    const char* format;
  } rows[] = {
      {"Soil decay mass", 12.5, "%14.2lf"},
      {"Initial Dissolved Mass on Overland", -1234.56, "%14.2lf"},
      {"Dissolved mass balance error", 0.0, "%14.4lf"},
      {"Groundwater net mass gain(+)/loss(-)", 98765432.1, "%14.2lf"},
  };
  for (const row& r : rows) {
    const std::string text = summary_line(r.label, r.value, r.format);
    EXPECT_EQ(text.find('.', 50), 65u) << r.label;  // the 66th character of the line
  }
}

TEST(SummaryLine, LongLabelsAndExtraLineEnds) {
  const std::string label49(49, 'x');
  const std::string text = summary_line(label49.c_str(), 1.0, "%14.2lf", 2);
  EXPECT_EQ(text, label49 + " " + std::string(4, ' ') + "          1.00\n\n\n");
  const std::string label60(60, 'y');
  EXPECT_EQ(summary_line(label60.c_str(), 1.0, "%14.2lf"),
            label60 + " " + std::string(4, ' ') + "          1.00\n");
  // A value too wide for its field still gets one blank before it.
  EXPECT_EQ(summary_line("Mass", 1.0e15, "%14.2lf"),
            "Mass " + std::string(45, '.') + " 1000000000000000.00\n");
}

class EventSummary : public testing::summary_test {
 protected:
  void uniform_storm() {
    make_grid();
    model_state& m = *ms;
    m.clock.event_start_year = 2000;
    m.clock.event_start_month = 1;
    m.clock.event_start_day = 1;
    m.clock.event_start_hour = 12;
    m.hydromet.precip_unif = 1;
    m.hydromet.rain_intensity = 25.4;
    m.hydromet.rain_duration = 60.0;
    m.clock.dt = 30.0;
    m.clock.rain_steps = 120;
    m.clock.rain_start_min = 0.0;  // rain from the first step
    m.clock.event_peak_q = 2.5;
    m.clock.peak_jdate = 2451545.0210069;
    m.clock.peak_year = 2000;
    m.clock.peak_month = 1;
    m.clock.peak_day = 1;
    m.clock.peak_hour = 12;
    m.clock.peak_minute = 30;
    m.clock.peak_second = 15;
    // 5000 m3 of rain: 1795 infiltrate, 3000 leave, 200 stay; 5 are lost.
    m.ledger.book(water_flux::rainfall_to_overland, 5000.0);
    m.ledger.book(water_flux::infiltration, 1795.0);
    m.ledger.book(water_flux::outlet_discharge, 3000.0);
    m.ledger.set_storage(water_store::surface, ledger_moment::event_end, 200.0);
    m.soil.green_ampt = 1;
    m.overland.manning_n_given = 1;
    m.clock.map_write_steps = 10;
    m.clock.hyd_write_steps = 2;
    m.output.dataset_output = 1;
    m.output.depth_given = 1;
    m.output.maps_written = written_map::depth;
  }
  // A new record writing to a new summary file.
  void fresh() {
    ms = std::make_unique<model_state>();
    ASSERT_TRUE(open_guarded_file(ms->output.summary_file, "summary.out", "w"));
  }
  std::string written() {
    ms->ledger.close_event();
    write_event_summary(*ms);
    return summary_text();
  }
  // The water left on the surface at the end of the event (m3).
  void surface_left(double v) { ms->ledger.set_storage(water_store::surface, ledger_moment::event_end, v); }
};

TEST_F(EventSummary, UniformStormSummary) {
  uniform_storm();
  EXPECT_EQ(written(),
            "         NIVRA EVENT RUNOFF SIMULATION SUMMARY\n"
            "            Event began on 01/01/2000 at 12:00\n"
            "   With uniform rainfall of   25.4 mm/h for   60.0 minutes.\n\n"
            "elevation and gridsize are in meters\n"
            "timestep                                    30.0 seconds\n"
            "number of timesteps with rain:             120\n"
            "elapsed time when rain began:               0.00\n \n"
            "peak occured on strict Julian date:       2451545.02100690\n"
            "date/time of peak discharge:              1/1/2000  12:30:15\n"
            "Event peak discharge (cubic meters per second):        2.5000\n\n"
            "Note: all volumes in cubic meters.\n"
            "initial volume of overland flow:                   0.0\n"
            "initial liquid-equiv. volume of snow:              0.0\n \n"
            "initial volume of melt water:                      0.0\n \n"
            "volume of rainfall to overland:                5000.0\n"
            "volume of interception:                           0.0\n"
            "snowmelt and rain through the pack:               0.0\n"
            "volume of direct evaporation:                     0.0\n"
            "volume of infiltrated water:                   1795.0\n"
            "volume of water exfiltrated:                      0.0\n"
            "volume of discharge:                           3000.0\n"
            "volume from overland point sources:               0.0\n"
            "\n"
            "volume remaining on surface:                    200.0\n"
            "final volume of snow (cu. m):                     0.0\n \n"
            "final volume of melt water (cu. m):               0.0\n \n"
            "mass conservation error:                          0.100000 percent\n"
            "Note: positive mass conservation error indicates mass was lost: the outputs and final storage fall short of the inputs and initial storage.\n"
            "Mass input + original mass:           5000.000000 m3\n"
            "Mass output + final mass:             4995.000000 m3\n"
            "mass cleanup error from overland:      0.000000 m3\n"
            "\n"
            "No Warnings.\n"
            "\n THE FOLLOWING INPUTS WERE READ:\n"
            "A project file was used.\n"
            "Floating point GRASS maps were read.\n"
            "\n THE FOLLOWING PROCESSES WERE SIMULATED:\n"
            "Uniform overland roughness.\n"
            "Uniform initial soil moisture.\n"
            "Green & Ampt infiltration.\n"
            "\n THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY 10 TIMESTEP(S):\n"
            "ASCII PAV maps of:\n"
            "     overland flow depth.\n"
            "\n THE FOLLOWING ASCII OUTPUT FILES WERE WRITTEN TO EVERY 2 TIMESTEP(S):\n"
            "     hydrograph at the catchment outlet.\n");
}

TEST_F(EventSummary, EveryBlockInItsPlace) {
  uniform_storm();
  testing::switch_everything_on(*ms);
  model_state& m = *ms;
  m.clock.long_term = 1;
  m.clock.event_index = 1;
  m.hydromet.hmet_samson_given = 1;
  m.hydromet.hmet_header = "BOULDER CO 94018";
  m.hydromet.et_calc_penman = m.hydromet.et_calc_deardorff = 1;
  m.hydromet.precip_unif = 0;
  m.hydromet.precip_file_given = m.hydromet.rain_thiessen = 1;
  m.soil.inf_richards = 1;
  m.soil.green_ampt = 0;
  EXPECT_TRUE(testing::in_order(
      written(),
      {"NIVRA LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT 1\n",
       "NIVRA used NCDC/SAMSON hydrometeorological data from the BOULDER station\n",
       "Hydrometeorology data began on:", "Penman-Montieth", "Deardorff",
       "Sacramento soil moisture accounting was used.\n\n",
       "With raingage data using Thiessen polygon interpolation.\n\n",
       "initial basin-averaged soil water content:", "initial volume in lakes",
       "initial volume in sub-surface drains:", "volume of base flow from Sacramento:",
       "net volume of lateral inflow:", "volume precip to lake:", "volume of gw to lakes:",
       "volume of lake evaporation:", "volume of total evaporation:",
       "Volume to specified slope (out):", "volume of gw to tile drains:",
       "volume remaining in lakes", "volume remaining in drains:", "mass conservation error:",
       "final basin-averaged soil water content:", "Richard's EQ. Computations",
       "GROUNDWATER CALCULATION SUMMARIES FOR EVENT", "vol from gw to lakes this event",
       "vol gw to tile dtrains", "vol gain for gw from XY boundaries:",
       "Soil Contaminant Transport Summary for contaminant 1 \n", "Soil decay mass ",
       "Overland Contaminant Transport Summary for contaminant 1 \n", "Attached exiting outlet ",
       "Channel Contaminant Transport Summary for contaminant 1 \n",
       "Contaminants Attached to Sediment Mass Balance...\n",
       "Lake Contaminant Transport Summary for contaminant 1 \n", "Final Conc in lake (mg/L) 1 = ",
       "Soil Contaminant Transport Summary for NO3 \n", "NSM surface water exchange from soil ",
       "Overland Contaminant Transport Summary for NO3 \n", "Gained from NSM kinetics ",
       "Channel Contaminant Transport Summary for NO3 \n", "Mass lost in NSM kinetics ",
       "Overland Sediment Summary\n", "Total sediment 1 into superlinks (event)",
       "Total water carrying sediments to superlinks (event)",
       "Channel sediment routing mass quantities\n", "Lake Summary \n", "Summary for lake 1 \n",
       "THE FOLLOWING INPUTS WERE READ:", "THE FOLLOWING PROCESSES WERE SIMULATED:",
       "Infiltration by Richards Eq.\n", "Overland soil erosion.\n",
       "Sediment transport in channels using Yang's eqn. for sand.\n",
       "Base flow using the Sacramento Soil Moisture Accounting Model.\n",
       "THE FOLLOWING OUTPUT MAPS", "THE FOLLOWING ASCII OUTPUT FILES",
       "     sediment outflow at the catchment outlet.\n"}));
}

// The soil column's block of an event comes from the mass ledger: its
// masses at the event's two moments and the event's terms, the run's
// earlier events left out; a closing column shows no error.
TEST_F(EventSummary, TheSoilBlockIsTheEventsSoilBooks) {
  uniform_storm();
  testing::switch_everything_on(*ms);
  constituent_state& k = ms->constituent;
  k.contam_table_input = 1;
  mass_ledger& b = *k.mass_books;
  auto term = [](constituent_term t) { return row(t); };
  // An earlier event's books, which this event's block must not show.
  b.book(1, term(constituent_term::soil_decay), 9.0);
  b.open_event();
  // 40 kg at the start; 6 infiltrate, 1.5 rise from the table; 0.5 go up
  // onto the surface, 2 seep down, 1 decays, the surface takes 3 and gives
  // back 0.25: 40 + 6 + 1.5 + 0.25 - 0.5 - 2 - 1 - 3 = 41.25 at the end.
  b.set_mass(1, mass_compartment::soil_column, ledger_moment::event_start, 40.0);
  b.set_mass(1, mass_compartment::soil_column, ledger_moment::event_end, 41.25);
  b.book(1, term(constituent_term::infiltration), 6.0);
  b.book(1, term(constituent_term::seepage_from_water_table), 1.5);
  b.book(1, term(constituent_term::exfiltration), 0.5);
  b.book(1, term(constituent_term::seepage_to_water_table), 2.0);
  b.book(1, term(constituent_term::soil_decay), 1.0);
  b.book(1, term(constituent_term::release_from_land), 3.0);
  b.book(1, term(constituent_term::uptake_by_land), 0.25);
  const std::string text = written();
  const std::size_t at = text.find("Soil Contaminant Transport Summary for contaminant 1 \n");
  ASSERT_NE(at, std::string::npos);
  const std::string block = text.substr(at, text.find("Overland Contaminant", at) - at);
  auto value = [&](const std::string& label) {
    const std::size_t p = block.find(label + " ");
    EXPECT_NE(p, std::string::npos) << label;
    if (p == std::string::npos) return -1.0;
    const std::size_t number = block.find_first_of("-0123456789", p + label.size() + 1 + block.substr(p + label.size() + 1).find_first_not_of(". "));
    return std::strtod(block.c_str() + number, nullptr);
  };
  const struct {
    const char* label;
    double v;
  } rows[] = {{"Initial Mass in Soil Column", 40.0}, {"Final Mass in Soil Column", 41.25},
              {"Mass added by infiltration", 6.0},   {"Exfiltration mass loss", 0.5},
              {"Mass seepage to water table", 2.0},  {"Mass seepage from water table", 1.5},
              {"Soil decay mass", 1.0},              {"Surface water exchange from soil", 3.0},
              {"Surface water exchange to soil", 0.25}, {"Soil mass balance error", 0.0}};
  for (const auto& r : rows) EXPECT_NEAR(value(r.label), r.v, 1e-9) << r.label << "\n" << block;
}

// The sediment-bound lines of an event come from the event's books: the
// fines' mass at the event's end and the event's terms, the run's earlier
// events left out; with them the water's and the soil's balances close.
TEST_F(EventSummary, TheSedimentBoundLinesAreTheEventsBooks) {
  uniform_storm();
  constituent_state& k = ms->constituent;
  k.ov_con_trans = k.soil_con_trans = k.sediment_contam = k.contam_table_input = 1;
  k.num_constituents = 1;
  k.constituent_type.grow(1);
  k.constituent_type[1] = 1;
  k.constituent_output_name = {"", "copper"};
  for (auto* a : {&k.event_ov_mass_init, &k.event_ov_mass_final, &k.event_ov_precip_mass, &k.event_ov_uptake_mass,
                  &k.event_ov_infil_mass, &k.event_ov_mass_out})
    a->grow(1);
  k.mass_books = std::make_unique<mass_ledger>(constituent_term_table, 1);
  mass_ledger& b = *k.mass_books;
  auto book = [&](constituent_term t, double kg) { b.book(1, row(t), kg); };
  // An earlier event's books, which this event's blocks must not show.
  book(constituent_term::eroded_with_soil, 9.0);
  book(constituent_term::outlet_on_sediment, 5.0);
  book(constituent_term::release_from_sediment, 7.0);
  b.open_event();
  // The water: 2 kg at the start, 1 from the rain, 0.5 from the soil; the
  // fines take 1.4 and give back 0.4; 0.75 infiltrate and 0.25 leave:
  // 1.5 kg at the end. The fines lift 3 kg from the soil, lay 1 back and
  // carry 0.6 out: with the 1 kg from the water, 2.4 at the end (none at
  // the start). The soil: 40 kg, +0.75 infiltrated, -0.5 to the water,
  // -3 + 1 with the fines: 38.25.
  k.event_ov_mass_init[1] = 2.0;
  k.event_ov_precip_mass[1] = 1.0;
  k.event_ov_uptake_mass[1] = 0.5;
  k.event_ov_infil_mass[1] = 0.75;
  k.event_ov_mass_out[1] = 0.25;
  k.event_ov_mass_final[1] = 1.5;
  book(constituent_term::sorbed_onto_sediment, 1.4);
  book(constituent_term::release_from_sediment, 0.4);
  book(constituent_term::eroded_with_soil, 3.0);
  book(constituent_term::settled_with_sediment, 1.0);
  book(constituent_term::outlet_on_sediment, 0.6);
  book(constituent_term::infiltration, 0.75);
  book(constituent_term::release_from_land, 0.5);
  b.set_mass(1, mass_compartment::sediment_bound, ledger_moment::event_end, 2.4);
  b.set_mass(1, mass_compartment::soil_column, ledger_moment::event_start, 40.0);
  b.set_mass(1, mass_compartment::soil_column, ledger_moment::event_end, 38.25);
  const std::string text = written();
  for (const char* line : {
           "Sediment eroded(-)/deposited(+) ..................             -2.00\n"
           "Soil mass balance error ..........................              0.0000\n",
           "Final Dissolved Mass on Overland .................              1.50\n"
           "Final attached to susp seds ......................              2.40\n"
           "Final total (attached+dissolved) .................              3.90\n",
           "Sediment source ..................................             -1.00\n"
           "Attached exiting outlet ..........................              0.60\n"
           "Dissolved mass balance error .....................              0.0000\n",
       })
    EXPECT_TRUE(has(text, line)) << line << "\n" << text;
}

// A later event of a long-term run, on channels with a lake and a point
// sink: the channels' and the lake's attached blocks add the mass their
// fines held at the event's start, what the lake let out into the
// channels, what the sinks drew and the lake's final mass on its suspended
// fines and on its bed (from its store), and close. By hand: the channels
// start with 2 kg, take 10 from the cells, 3 from the lake and 1 from their
// water, let 8 out of the outlet, 5 into the lake and 0.5 into the sink:
// 2.5 at the end. The lake starts with 4, takes those 5, 0.5 net from its
// cells and 1.5 from its water, lets the 3 out and 0.25 into the sink:
// 7.75 at the end, 1.75 suspended (1 kg on the clay, 0.75 on the silt) and
// 6 on its bed. An earlier event's totals do not show.
TEST_F(EventSummary, TheAttachedBlocksCloseWithWhatTheFinesHeldAtTheEventsStart) {
  uniform_storm();
  constituent_state& k = ms->constituent;
  k.chan_con_trans = k.sediment_contam = 1;
  ms->lake.chan_lakes = 1;
  ms->lake.num_lakes = 1;
  ms->channel.chan_point_sources_on = 1;
  k.num_constituents = 1;
  k.constituent_type.grow(1);
  k.constituent_type[1] = 1;
  k.constituent_output_name = {"", "copper"};
  struct figure {
    checked_array<double>* line;
    double kg;
  } figures[] = {{&k.chan_sed_lat_in_event, 10.0}, {&k.chan_sed_out_event, 8.0},     {&k.chan_sed_exch_event, 1.0},
                 {&k.chan_sed_susp_event, 2.5},    {&k.chan_sed_to_lake_event, 5.0}, {&k.lake_sed_ov_in_event, 0.5},
                 {&k.lake_sed_chan_in_event, 5.0}, {&k.lake_sed_exch_event, 1.5}};
  for (const figure& f : figures) {
    f.line->grow(1);
    (*f.line)[1] = f.kg;
  }
  k.mass_books = std::make_unique<mass_ledger>(constituent_term_table, 1);
  mass_ledger& b = *k.mass_books;
  auto book = [&](constituent_term t, double kg) { b.book(1, row(t), kg); };
  book(constituent_term::attached_lakes_to_channels, 9.0);
  book(constituent_term::attached_point_sinks, 9.0);
  book(constituent_term::attached_lake_point_sinks, 9.0);
  b.open_event();
  b.set_mass(1, mass_compartment::channel_sediment_bound, ledger_moment::event_start, 2.0);
  b.set_mass(1, mass_compartment::lake_sediment_bound, ledger_moment::event_start, 4.0);
  book(constituent_term::attached_channels_to_lakes, 5.0);
  book(constituent_term::attached_lakes_to_channels, 3.0);
  book(constituent_term::attached_point_sinks, 0.5);
  book(constituent_term::attached_lake_point_sinks, 0.25);
  book(constituent_term::attached_cells_to_lakes, 0.7);
  book(constituent_term::attached_lakes_to_cells, 0.2);
  book(constituent_term::lake_sediment_release, -1.5);
  k.chan_attached = std::make_unique<channel_attached>();
  k.chan_attached->stores.resize(2);
  chan_attached_store& st = k.chan_attached->stores[1];
  st.alloc(4, 1, 2);
  st.lake(1, 1) = 1000.0;  // g
  st.lake(1, 2) = 750.0;
  st.bed[1] = 6000.0;
  const std::string text = written();
  struct line {
    const char* label;
    double value;
  };
  auto block = [](std::initializer_list<line> lines, const char* error) {
    std::string s;
    for (const line& l : lines) s += summary_line(l.label, l.value, "%14.2lf");
    return s + summary_line(error, 0.0, "%14.4lf");
  };
  const std::string channel = block({{"Lateral flow into channels", 10.0},
                                     {"Exiting watershed", 8.0},
                                     {"Exchange with dissolved", 1.0},
                                     {"Attached to suspended sed", 2.5},
                                     {"Attached entering lakes", 5.0},
                                     {"Total (dissolved+attached)", 2.5},
                                     {"Initial attached in channels", 2.0},
                                     {"Attached leaving lakes", 3.0},
                                     {"Attached drawn by point sinks", 0.5}},
                                    "Attached mass balance error");
  const std::string lake = block({{"Overland inflow", 0.5},
                                  {"Channel inflow", 5.0},
                                  {"Exchange with dissolved", 1.5},
                                  {"Attached leaving lakes", 3.0},
                                  {"Attached drawn by point sinks", 0.25},
                                  {"Initial attached in lakes", 4.0},
                                  {"Final attached, suspended", 1.75},
                                  {"Final attached, on lake beds", 6.0}},
                                 "Attached mass balance error");
  EXPECT_TRUE(has(text, "Contaminants Attached to Sediment Mass Balance...\n \n" + channel)) << text;
  EXPECT_TRUE(has(text, lake + "Final Mass in lake 1 =")) << text;
}

// The exchange between the water table and the unsaturated zone is booked
// into the aquifer, and so is the accounting layer's water in the depths a
// rising table submerges (a layered soil over the aquifer); the event's
// groundwater block shows their sum from the aquifer into the unsaturated
// zone.
TEST_F(EventSummary, GroundwaterToTheUnsaturatedZoneIsTheBookedExchangeTurned) {
  const struct {
    double into_aquifer, layer_into_aquifer;
    const char* shown;
  } rows[] = {{-120.0, 0.0, "120.0"}, {35.5, 0.0, "-35.5"}, {0.0, 0.0, "0.0"},
              {0.0, 37.4, "-37.4"}, {-120.0, 37.4, "82.6"}};
  for (const auto& r : rows) {
    fresh();
    uniform_storm();
    ms->groundwater.gw_simulation = 1;
    ms->ledger.book(water_flux::saturated_unsaturated, r.into_aquifer);
    ms->ledger.book(water_flux::soil_layer_to_groundwater, r.layer_into_aquifer);
    char line[128];
    std::snprintf(line, sizeof line, "vol from gw to unsat this event, w/o recharge (cu. m):        %9s\n", r.shown);
    EXPECT_TRUE(testing::has(written(), line)) << "booked " << r.into_aquifer << " and " << r.layer_into_aquifer
                                               << "; no line " << line;
  }
}

TEST_F(EventSummary, MassErrorNotes) {
  // Of 5000 m3 of rain 4795 leave; the surface keeps less than the rest, the rest, or more.
  struct row {
    double error;
    double rain, surface;
    const char* line;
    const char* note;
    bool no_rain;
  } rows[] = {
      {0.01, 5000.0, 155.0, "mass conservation error:                          1.000000 percent\n", "Note: positive mass conservation error indicates mass was lost: the outputs and final storage fall short of the inputs and initial storage.\n", false},
      {-1.0, 0.0, 0.0, "mass conservation error:                         none: no water to balance\n",
       "Note: nothing came in and nothing was stored at the event's start.\n", true},
      {-0.05, 5000.0, 455.0, "mass conservation error:                         -5.000000 percent\n",
       "Note: negative mass conservation error indicates mass was created: the outputs and final storage exceed the inputs and initial storage.\n", false},
      {0.0, 5000.0, 205.0, "mass conservation error:                          0.000000 percent\n",
       "Note: positive mass conservation error indicates mass was lost: the outputs and final storage fall short of the inputs and initial storage.\n", false},
  };
  for (const row& r : rows) {
    fresh();
    uniform_storm();
    ms->ledger.set_totals(water_flux::rainfall_to_overland, r.rain, r.rain);
    if (r.rain == 0.0) {
      ms->ledger.set_totals(water_flux::infiltration, 0.0, 0.0);
      ms->ledger.set_totals(water_flux::outlet_discharge, 0.0, 0.0);
    }
    surface_left(r.surface);
    const std::string text = written();
    EXPECT_NEAR(ms->ledger.event().error, r.error, 1e-12) << r.error;
    EXPECT_TRUE(has(text, std::string(r.line) + r.note)) << r.error;
    EXPECT_EQ(has(text, "Note: no rainfall was input.\n"), r.no_rain) << r.error;
    EXPECT_EQ(ms->ledger.event().no_water, r.no_rain) << r.error;
    // An event without water has no error, so neither a percentage nor the
    // warning of a large one; a 5 % error is warned of.
    EXPECT_EQ(has(text, "-100.000000"), false) << r.error;
    EXPECT_EQ(has(text, "-Mass conservation error (absolute) is larger than typical values"),
              std::fabs(r.error) > 0.02 && !r.no_rain)
        << r.error;
  }
}

TEST_F(EventSummary, LongTermSeparatorFromTheSecondEvent) {
  const std::string dashes = "\n\n" + std::string(78, '-') + "\n";
  for (int event : {1, 2, 3}) {
    fresh();
    uniform_storm();
    ms->clock.long_term = 1;
    ms->clock.event_index = event;
    ms->clock.gmt = -6.0;
    const std::string text = written();
    EXPECT_EQ(text.starts_with(dashes), event >= 2) << event;
    EXPECT_TRUE(has(text, "       NIVRA LONG-TERM RUNOFF SIMULATION SUMMARY- EVENT " +
                              std::to_string(event) + "\n"));
    EXPECT_TRUE(has(text, "Event began on 01/01/2000 at 12:00  GMT -6.0 hours.\n\n"));
  }
  // Event runs have one event and no separator.
  fresh();
  uniform_storm();
  ms->clock.event_index = 3;
  EXPECT_TRUE(written().starts_with("         NIVRA EVENT RUNOFF SIMULATION SUMMARY\n"));
}

TEST_F(EventSummary, Warnings) {
  const std::string heading = "THE FOLLOWING WARNINGS ARE GIVEN:\n";
  const std::string mass = "-Mass conservation error (absolute) is larger than typical values";
  const std::string depth = "-Depths exceeded the range of look-up table X-section data.\n";
  const std::string left = "-The surface held 300.0 m3 more at the end of the event than at its start, over\n"
                           " 5 percent of the event's rain to the overland (5000.0 m3): its runoff was still\n"
                           " under way when the event ended.  A longer run carries it to the outlet.\n";
  // Of 5000 m3 of rain 3000 leave at the outlet and some infiltrate.
  struct row {
    const char* name;
    double infiltrated;
    int exceeded;
    double surface_start, surface;
    bool heading, mass, depth, left, none;
  } rows[] = {
      {"none", 1795.0, 0, 0.0, 200.0, false, false, false, false, true},                   // error 0.1 %
      {"water left on the surface only", 1795.0, 0, 0.0, 300.0, true, false, false, true, false},  // -1.9 %
      // A lake's water from the start is not the event's water left.
      {"water held from the start", 1795.0, 0, 1000.0, 1200.0, false, false, false, false, true},
      {"mass error", 1695.0, 0, 0.0, 200.0, true, true, false, false, false},              // 2.1 %
      {"look-up sections exceeded", 1795.0, 1, 0.0, 200.0, true, false, true, false, false},
  };
  for (const row& r : rows) {
    fresh();
    uniform_storm();
    ms->ledger.set_totals(water_flux::infiltration, r.infiltrated, r.infiltrated);
    ms->channel.xsec_table_exceeded = r.exceeded;
    ms->ledger.set_storage(water_store::surface, ledger_moment::event_start, r.surface_start);
    surface_left(r.surface);  // 5 % of the 5000 m3 of rain is 250
    const std::string text = written();
    EXPECT_EQ(has(text, heading), r.heading) << r.name;
    EXPECT_EQ(has(text, mass), r.mass) << r.name;
    EXPECT_EQ(has(text, depth), r.depth) << r.name;
    EXPECT_EQ(has(text, left), r.left) << r.name << text;
    EXPECT_EQ(has(text, "No Warnings.\n"), r.none) << r.name;
    // The heading never stands alone.
    const std::size_t at = text.find(heading);
    if (at != std::string::npos) EXPECT_EQ(text[at + heading.size()], '-') << r.name;
  }
}

TEST_F(EventSummary, OverlandConstituentBooksClose) {
  uniform_storm();
  ms->constituent.ov_con_trans = 1;
  ms->constituent.num_constituents = 1;
  ms->constituent.constituent_type.grow(1);
  ms->constituent.constituent_type[1] = 1;
  ms->constituent.constituent_output_name = {"", "atrazine"};
  for (auto* a : {&ms->constituent.event_ov_mass_init, &ms->constituent.event_ov_mass_final, &ms->constituent.event_ov_point_mass,
                  &ms->constituent.event_ov_precip_mass, &ms->constituent.event_ov_infil_mass, &ms->constituent.event_ov_mass_out,
                  &ms->constituent.event_ov_decay_mass})
    a->grow(1);
  ms->constituent.event_ov_mass_init[1] = 10.0;
  ms->constituent.event_ov_point_mass[1] = 5.0;
  ms->constituent.event_ov_precip_mass[1] = 1.0;
  ms->constituent.event_ov_mass_final[1] = 4.0;
  ms->constituent.event_ov_infil_mass[1] = 6.0;
  ms->constituent.event_ov_mass_out[1] = 3.0;
  ms->constituent.event_ov_decay_mass[1] = 3.0;
  const std::string text = written();
  EXPECT_TRUE(has(text, "Overland Contaminant Transport Summary for atrazine \n"
                        "Amounts are total mass for event in (Kg) \n \n"
                        "Initial Dissolved Mass on Overland ...............             10.00\n"));
  EXPECT_TRUE(has(text, "Decay loss .......................................              3.00\n"));
  EXPECT_TRUE(has(text, "Dissolved mass balance error .....................              0.0000\n"));
}

TEST_F(EventSummary, TheOverlandErrorTakesTheWaterBalancesZeroRule) {
  // A percentage of whatever came in, however little; nothing in gives 0.
  struct error_case {
    double initial, final_mass;
    const char* line;
  } cases[] = {
      {4e-17, 1e-17, "Dissolved mass balance error .....................             75.0000\n"},
      {0.0, 0.0, "Dissolved mass balance error .....................              0.0000\n"},
  };
  for (const error_case& e : cases) {
    fresh();
    uniform_storm();
    ms->constituent.ov_con_trans = 1;
    ms->constituent.num_constituents = 1;
    ms->constituent.constituent_type.grow(1);
    ms->constituent.constituent_type[1] = 1;
    for (auto* a : {&ms->constituent.event_ov_mass_init, &ms->constituent.event_ov_mass_final}) a->grow(1);
    ms->constituent.event_ov_mass_init[1] = e.initial;
    ms->constituent.event_ov_mass_final[1] = e.final_mass;
    EXPECT_TRUE(has(written(), e.line)) << e.initial;
  }
}

TEST_F(EventSummary, ChannelSedimentsWithoutSand) {
  uniform_storm();
  ms->constituent.chan_sed_on = 1;
  ms->constituent.init_wash_load = 1.0;
  ms->constituent.chan_sed_event.wash_in = 4.0;
  ms->constituent.event_wash_outflow = 3.0;
  ms->constituent.final_wash_load = 2.0;
  ms->constituent.max_wash_rate = 0.25;
  const std::string text = written();
  EXPECT_TRUE(has(text, "Maximum rate of wash-load discharge:       0.25000000 cms\n"
                        "\n Event channel sediment mass-balance:\n"
                        "Mass conservation error for wash load:       0.000000 percent\n"
                        "Mass conservation error for sand load:       0.000000 percent\n"
                        "Overall channel sediment mass cons. error:   0.000000 percent\n"));
}

// The summary lists the maps the run wrote, and those only: the long-term
// example with redistribution asks for depth maps alone and lists them
// alone; the snow example's snow water equivalent maps are listed with
// them.
class EventSummaryMaps : public testing::process_test {};

TEST_F(EventSummaryMaps, TheMapListNamesTheMapsTheRunWrote) {
  // A day of MAP_FREQ: 2880 steps of 30 s, 1440 of 60 s.
  struct map_case {
    const char* example;
    const char* project;
    const char* card;
    const char* heading;
    const char* listed;
    const char* file;
  } cases[] = {
      {"longterm", "longterm", "DEPTH maps/", "THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY 2880 TIMESTEP(S):\n",
       "     overland flow depth.\n", "maps/depth.0001.asc"},
      {"snow", "snow", "SNOW_SWE_FILE maps/", "THE FOLLOWING OUTPUT MAPS WERE WRITTEN EVERY 1440 TIMESTEP(S):\n",
       "     snow water equivalent.\n", "maps/swe.0001.asc"},
  };
  for (const map_case& k : cases) {
    SCOPED_TRACE(k.example);
    reset_process_state();
    testing::copy_example(k.example);
    const std::string project = std::string(k.project) + ".prj";
    const std::string card(k.card);
    testing::set_card(project, card.substr(0, card.find(' ')), card + "\nMAP_FREQ 1440");
    const testing::storm_run r = testing::run_storm(project);
    ASSERT_TRUE(r.ended) << r.console;
    EXPECT_TRUE(testing::file_exists(k.file));
    const std::string summary = testing::read_file(std::string(k.project) + ".sum");
    const std::size_t at = summary.rfind(k.heading);
    ASSERT_NE(at, std::string::npos) << summary;
    const std::string block = summary.substr(at, summary.find("THE FOLLOWING ASCII OUTPUT FILES", at) - at);
    EXPECT_EQ(block, std::string(k.heading) +
                         "ASCII grid (Arc/Info) output maps were written, one file per map time.\n" + k.listed +
                         "\n ");
  }
}

}  // namespace
}  // namespace nivra
