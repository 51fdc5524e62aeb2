// Bad input as a new user meets it: a bundled example with one card, one
// map value or one line of a file changed, run through the whole program.
// Each case says what the message must name and whether the run stops: a
// stopped run exits non-zero and never starts its time loop; a run that goes
// on ends normally.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "command/command_line.h"
#include "core/process.h"
#include "support/test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testing::read_file;
using testing::write_file;

class BadInput : public testing::process_test {
 protected:
  // Copies an example's files into the working folder.
  static void copy_example(const std::string& name) {
    const auto from = std::filesystem::path(NIVRA_SOURCE_DIR) / "examples" / name;
    for (const auto& entry : std::filesystem::directory_iterator(from))
      std::filesystem::copy_file(entry.path(), entry.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
  }

  // Each line replaces the project's card of the same word, or is added.
  static void set_cards(const std::string& project, const std::vector<std::string>& lines) {
    std::string text = read_file(project);
    for (const std::string& line : lines) {
      const std::string word = line.substr(0, line.find(' '));
      const std::size_t at = text.find("\n" + word + " ");
      if (at == std::string::npos)
        text += line + "\n";
      else
        text.replace(at + 1, text.find('\n', at + 1) - at - 1, line);
    }
    write_file(project, text);
  }

  // The line of the project file that the card of a card line stands on
  // (its first), 0 when none does.
  static int line_of(const std::string& project, const std::string& card_line) {
    const std::string word = card_line.substr(0, card_line.find(' '));
    const std::string text = read_file(project);
    int line = 1;
    for (std::size_t at = 0; at < text.size(); ++line) {
      const std::size_t end = std::min(text.find('\n', at), text.size());
      const std::string_view l(text.data() + at, end - at);
      if (l.substr(0, word.size()) == word && (l.size() == word.size() || l[word.size()] == ' ')) return line;
      at = end + 1;
    }
    return 0;
  }

  // The whole program on the command line's words; the console (both
  // streams) is kept.
  int run(std::vector<std::string> words) {
    words.insert(words.begin(), "nivra");
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    reset_process_state();
    CaptureStdout();
    CaptureStderr();
    const int status = nivra_main(static_cast<int>(words.size()), argv.data());
    console = GetCapturedStdout();
    console += GetCapturedStderr();
    return status;
  }

  // Checks a case: the fragment is in the console, and the run stopped
  // before its time loop with a non-zero status, or ended normally.
  void expect_outcome(int status, const std::string& fragment, bool stops) {
    EXPECT_NE(console.find(fragment), std::string::npos) << console;
    if (stops) {
      EXPECT_NE(status, 0);
      EXPECT_EQ(console.find("Running...."), std::string::npos);
    } else {
      EXPECT_EQ(status, 0) << console;
      EXPECT_NE(console.find("finished event"), std::string::npos);
    }
  }

  std::string console;
};

struct card_case {
  std::vector<std::string> cards;  // replaced or added in the plane example
  std::string fragment;            // of the console
  bool stops;
};

TEST_F(BadInput, CardValuesAreCheckedWhereTheyAreRead) {
  const card_case cases[] = {
      {{"TIMESTEP nan"}, "Error: the TIMESTEP card holds nan; it takes a number above 0.001", true},
      {{"TIMESTEP 1e300"}, "Error: the TIMESTEP card holds 1e300;", true},
      {{"TIMESTEP -10"}, "Error: the TIMESTEP card holds -10;", true},
      {{"TIMESTEP"}, "Error: the TIMESTEP card holds no value;", true},
      {{"START_DATE -2147483648 1 1"}, "Error: the START_DATE card holds -2147483648 1 1; it takes a date",
       true},
      {{"START_DATE 2024 13 45"}, "Error: the START_DATE card holds 2024 13 45;", true},
      {{"START_DATE 2023 2 29"}, "Error: the START_DATE card holds 2023 2 29;", true},
      {{"START_DATE 2024 6"}, "Error: the START_DATE card holds 2024 6;", true},
      {{"START_TIME 25 99"}, "Error: the START_TIME card holds 25 99; it takes a time of day", true},
      // What a line gives beyond its card's values would be lost: a second
      // value, a unit, a file name with a blank; a flag followed by 0 (or
      // off, no, false) says the opposite of its line. A flag followed by 1
      // (or on, yes, true) changes nothing and is warned about; a note
      // after the values is left to the reader.
      {{"MANNING_N 0.06 0.08"}, "takes no more values, but the line goes on with 0.08; remove it", true},
      {{"TIMESTEP 30 s"}, "Error: the TIMESTEP card on line", true},
      {{"START_TIME 14 30 99"}, "Error: the START_TIME card on line", true},
      {{"CHAN_EXPLIC 0"}, "Error: the CHAN_EXPLIC card on line 35 of the project file is followed by 0, but a flag "
                          "is switched on by its line", true},
      {{"OV_CON_TRANS off"}, "Error: the OV_CON_TRANS card on line 35 of the project file is followed by off", true},
      {{"CHAN_EXPLIC ADE"}, "takes no value, but the line goes on with ADE;", true},
      {{"OV_CON_TRANS 1 2"}, "takes no value, but the line goes on with 1;", true},
      {{"SUMMARY my run.sum"}, "Error: the SUMMARY card on line", true},
      {{"OV_CON_TRANS 1"}, "Warning: the OV_CON_TRANS card on line 35 of the project file takes no value; the 1 "
                           "after it changes nothing (the card is on).", false},
      {{"OV_CON_TRANS YES"}, "Warning: the OV_CON_TRANS card on line 35 of the project file takes no value; the YES "
                             "after it changes nothing", false},
      {{"MANNING_N 0.05 # short grass"}, "Running....", false},
      {{"END_TIME 2024 6 31"}, "Error: the END_TIME card holds 2024 6 31 0 0;", true},
      {{"HYD_FREQ nan"}, "Error: the HYD_FREQ card holds nan;", true},
      {{"HYD_FREQ 1e300"}, "Error: the HYD_FREQ card holds 1e300;", true},
      {{"ROWS 0"}, "Error: the ROWS card holds 0; it takes a whole number from 1", true},
      {{"COLS 8.5"}, "Error: the COLS card holds 8.5; it takes a whole number", true},
      {{"OUTSLOPE -0.01"}, "Error: the OUTSLOPE card holds -0.01; it takes a number above 0", true},
      {{"OUTSLOPE nan"}, "Error: the OUTSLOPE card holds nan;", true},
      {{"TOT_TIME 0"}, "Error: the TOT_TIME card holds 0;", true},
      {{"TOT_TIME -30"}, "Error: the TOT_TIME card holds -30;", true},
      {{"RAIN_DURATION 1e300"}, "Error: the RAIN_DURATION card holds 1e300; it takes a whole number", true},
      {{"RAIN_INTENSITY inf"}, "Error: the RAIN_INTENSITY card holds inf;", true},
      {{"RETENTION -1"}, "Error: the RETENTION card holds -1; it takes a number from 0 to 1000 (mm)", true},
      {{"RETENTION nan"}, "Error: the RETENTION card holds nan;", true},
      {{"MANNING_N 0"}, "Error: the MANNING_N card holds 0;", true},
      {{"OVERTYPE ade-p"}, "Error: the OVERTYPE card holds ade-p;", true},
      {{"GRIDSIZE 30m"}, "Error: the GRIDSIZE card holds 30m;", true},
      {{"LATITUDE 91"}, "Error: the LATITUDE card holds 91;", true},
      {{"SEASONAL_RS_SPRING 100"}, "Error: the SEASONAL_RS_SPRING card holds 100; it takes a whole number from 0 to 12 "
                                   "(month)", true},
      // Counts of steps that an int cannot hold, made by two cards together.
      {{"TIMESTEP 0.01", "HYD_FREQ 1000000"},
       "Error: the HYD_FREQ card gives 1000000 minutes, which hold more time steps of 0.01 s", true},
      {{"ROWS 100000", "COLS 100000"}, "Error: the ROWS and COLS cards give a grid of 100000 x 100000", true},
      // Cards this version cannot act on.
      {{"OVERLAND_LAKE_MAP lake.map", "OVERLAND_LAKE_FILE lake.txt"},
       "Error: Unable to open overland lake map file.\n  (File: lake.map)", true},
      {{"MAPPING_TABLE none.cmt", "OVR_FLOW_BLOCK"}, "Unable to open Mapping Table file: none.cmt", true},
      {{"OV_POINT_SOURCE src.txt"}, "Error: overland point sources (OV_POINT_SOURCE) need overland contaminant "
                                    "transport (OV_CON_TRANS).", true},
      {{"OV_CON_TRANS", "OV_POINT_SOURCE src.txt"}, "Error: unable to open the overland point source file src.txt.",
       true},
      // Values at the edges of their ranges run.
      {{"HYD_FREQ 0"}, "Warning: Write hydrograph time step not specified, defaulting to 1 hour.", false},
      {{"START_DATE 2024 2 29", "START_TIME 23 59"}, "2/29/2024 23:59:00", false},
      {{"OVERTYPE 3", "RETENTION 0"}, "Running....", false},
  };
  for (const card_case& c : cases) {
    SCOPED_TRACE(c.cards.front());
    copy_example("plane");
    set_cards("plane.prj", c.cards);
    const int status = run({"plane.prj"});
    expect_outcome(status, c.fragment, c.stops);
  }
}

// Cards that nothing would act on: a card whose partner (a scheme, another
// card, a mapping table's table, a kind of run or of map, or what the
// channel input file gives) is missing, an option word the card does not
// know, two rain sources at once and a soil wetter than its pores stop the
// run naming the card; the cards that change nothing in this version say so
// and the run goes on, and so do cards given with their partners.
TEST_F(BadInput, CardsThatWouldBeIgnoredAreNamed) {
  struct ignored_case {
    std::string example;             // its folder, or folder/project
    std::vector<std::string> cards;  // replaced or added in the example's project
    std::string fragment;
    bool stops;
    const char* file = nullptr;      // a file of the example with one text changed
    std::string from = "", to = "";
  };
  const std::string moisture_row = "0.150 0.150 0.150 0.150 0.150 0.150 0.150 0.150\n0.150";
  // A row of a mapping table: the ID in columns 1 to 6, the description up
  // to column 86, the values from column 87.
  const auto cmt_row = [](std::string id, const std::string& description, const std::string& values) {
    id.resize(6, ' ');
    id += description;
    id.resize(86, ' ');
    return id + values + "\n";
  };
  const std::string boundary_table = "INDEX_MAP wells.idx \"Wells\"\nINDEX_MAP hillside.bnd \"Boundary\"\n"
                                     "GROUNDWATER_BOUNDARY \"Boundary\"\nNUM_IDS 3\n" +
                                     cmt_row("ID", "DESCRIPTION", "CODE") + cmt_row("1", "Inside", "1") +
                                     cmt_row("2", "Head held", "2") + cmt_row("4", "Under the stream", "4");
  // The last card given, added to (or put in place of its line in) the
  // example's project, without what it acts with: it stops the run naming
  // its line and what it needs, or it changes nothing and is warned about
  // on its line while the run goes on ({line} stands for its line).
  const auto stop = [](std::string example, std::vector<std::string> cards, const std::string& needs) {
    const std::string word = cards.back().substr(0, cards.back().find(' '));
    return ignored_case{std::move(example), std::move(cards),
                        "Error: the " + word + " card on line {line} of the project file acts only with " + needs,
                        true};
  };
  const auto warn = [](std::string example, std::vector<std::string> cards, const std::string& needs) {
    const std::string word = cards.back().substr(0, cards.back().find(' '));
    return ignored_case{std::move(example), std::move(cards),
                        "Warning: the " + word + " card on line {line} of the project file changes nothing: it acts "
                        "only with " + needs,
                        false};
  };
  // What the cards act with.
  const std::string chan = "explicit channel routing (CHAN_EXPLIC).";
  const std::string weather = "a long-term run (LONG_TERM): only it reads the weather and evapotranspires.";
  const std::string snow = "a long-term run (LONG_TERM): only it lays and melts snow.";
  const std::string richards = "Richards' equation (INF_RICHARDS).";
  const std::string scheme = "an infiltration scheme (GREEN_AMPT, INF_REDIST, INF_LAYERED_SOIL or INF_RICHARDS).";
  const std::string groundwater = "saturated groundwater (GW_SIMULATION).";
  const std::string zem = "the ZEM framework (ZEM).";
  const std::string zv = "the segment fluxes handed to ZV (ZV_FLUXES).";
  const std::string nsm = "the nutrient model (NUTRIENTS).";
  const std::string nsm_channels = "the nutrients of the channels (NUTRIENTS with CHAN_EXPLIC).";
  const std::string bed = "the channels' exchange through their beds: STREAM_LOSS (or GW_SIMULATION, which sets "
                          "it).";
  const std::string channel_contaminants = "contaminants in the channels: CHAN_CON_TRANS (or OV_CON_TRANS with "
                                           "SOIL_EROSION of 10 or more)";
  const std::string soil = "a soil under the cells: an infiltration scheme (GREEN_AMPT, INF_REDIST, "
                           "INF_LAYERED_SOIL or INF_RICHARDS) or saturated groundwater (GW_SIMULATION).";
  const std::string index_melt = "the temperature-index melt (NWSRFS_SNOW without EB_SNOW).";
  const std::string not_energy_balance = "a melt by temperature index (NWSRFS_SNOW) or by energy budget and index "
                                         "(neither NWSRFS_SNOW nor EB_SNOW)";
  const std::string storm = "a uniform storm (PRECIP_UNIF), not with PRECIP_FILE.";
  const std::string dated = "a uniform storm (PRECIP_UNIF) or a long-term run (LONG_TERM): a storm run of a "
                            "precipitation file starts at the first line of its first event.";
  const std::string overland = "overland contaminant transport (OV_CON_TRANS, or NUTRIENTS, or SOIL_EROSION of 10 "
                               "or more).";
  const std::string transport = "contaminant transport (OV_CON_TRANS, CHAN_CON_TRANS, NUTRIENTS or SOIL_EROSION of "
                                "10 or more).";
  const std::string uniform = "overland contaminant transport (OV_CON_TRANS or NUTRIENTS).";
  const std::string contaminant_table = "the uniform contaminant, without the mapping table's "
                                        "CONTAMINANT_TRANSPORT table";
  const ignored_case cases[] = {
      // Read and dropped: a warning, and the run goes on.
      {"plane", {"NODES nodes.txt"},
       "Warning: the NODES card on line {line} of the project file has no effect in this version of NIVRA; it is "
       "ignored.", false},
      {"plane", {"UNITS 1"}, "Units flag = 1\nWarning: the UNITS card on line {line} of the project file has no effect",
       false},
      {"plane", {"NWSRFS_FUA 0.3"}, "Warning: the NWSRFS_FUA card on line {line} of the project file has no effect",
       false},
      {"plane_infil/plane_redist", {"NO_CONT_INF_REDIST"},
       "Warning: the NO_CONT_INF_REDIST card on line {line} of the project file has no effect", false},
      // Cards of what this version does not have that print, plot, format or
      // tune: a warning naming the line and why, and the run goes on.
      {"plane", {"XWINDOWS"},
       "Warning: the XWINDOWS card on line {line} of the project file has no effect in this version of NIVRA; it is "
       "ignored (no window plots the run; the map and series cards write files).", false},
      {"plane", {"SUPPRESS_PRINTING 1"},
       "Warning: the SUPPRESS_PRINTING card on line {line} of the project file has no effect", false},
      {"plane", {"QUIB_COMPRESSION 5"},
       "Warning: the QUIB_COMPRESSION card on line {line} of the project file has no effect", false},
      {"plane", {"NWSRFS_FUA 101"}, "Error: the NWSRFS_FUA card holds 101; it takes a number from 0 to 100.", true},
      // Option words the card does not know.
      {"plane", {"RICHARDS_K_OPTION harmonic"},
       "Error: the RICHARDS_K_OPTION card holds harmonic; it takes GEOMETRIC or ARITHMETIC", true},
      {"plane", {"RICHARDS_UPPER_OPTION first"},
       "Error: the RICHARDS_UPPER_OPTION card holds first; it takes GREEN or AVERAGE", true},
      {"plane", {"RICHARDS_UPPER_OPTION"}, "Error: the RICHARDS_UPPER_OPTION card holds no value;", true},
      {"plane", {"RICHARDS_C_OPTION van_genuchten"},
       "Error: the RICHARDS_C_OPTION card holds van_genuchten; it takes BROOKS or HAVERCAMP", true},
      // Two sources of rain (the uniform rain of line 24 and an added gage file).
      {"plane", {"PRECIP_FILE storm.gag"},
       "Error: the PRECIP_UNIF and PRECIP_FILE cards set the same value in the project file (lines 24 and 35); give "
       "one of them.", true},
      // A card without its partner.
      stop("plane", {"STORAGE_CAPACITY canopy.cap"}, "interception: the INTERCEPTION_COEFF card too"),
      stop("plane", {"INTERCEPTION_COEFF canopy.icf"}, "the canopy's storage: the STORAGE_CAPACITY card too"),
      stop("plane", {"LOWSPOT_FILE notches.low"}, "the dikes its notches cross: the DIKE_MAP (or EMBANKMENT) card"),
      stop("plane", {"OVR_FLOW_BLOCK"},
           "the blocked shares of the mapping table's OVR_FLOW_BLOCK table; the project has no MAPPING_TABLE card."),
      stop("mapped", {"OVR_FLOW_BLOCK"},
           "the blocked shares of the mapping table's OVR_FLOW_BLOCK table, which the mapping table does not hold"),
      stop("erosion", {"VOL_SED_SUSP suspended"}, "a gridded dataset of the maps (MAP_TYPE 1 or 2)"),
      warn("plane", {"MOISTURE wet.moi"}, "a Green and Ampt infiltration"),
      warn("plane_infil", {"PORE_INDEX plane_infil.pdi"},
           "the Green and Ampt infiltration with redistribution (INF_REDIST)."),
      warn("plane_infil", {"SOIL_TYPE_MAP soils.idx"}, "a soil of classes (INF_LAYERED_SOIL or INF_RICHARDS)."),
      warn("plane", {"UNIF_AREA_REDUCTION 0.2"}, "an infiltration scheme"),
      stop("plane", {"HMET_GUV weather.guv"}, "a long-term run (LONG_TERM)"),
      stop("plane", {"HMET_ASCII weather.txt"}, "a long-term run (LONG_TERM)"),
      stop("plane", {"ET_CALC_PENMAN"}, "a long-term run (LONG_TERM)"),
      warn("plane", {"ALBEDO albedo.asc"}, "a long-term run (LONG_TERM)"),
      warn("longterm", {"VHEIGHT veg.asc"}, "Penman-Monteith evapotranspiration (LONG_TERM and ET_CALC_PENMAN)."),
      // The channel cards without channel routing.
      stop("plane", {"CHANNEL_INPUT v.cif"}, chan),
      stop("plane", {"STREAM_CELL v.gst"}, chan),
      warn("plane", {"MAX_COURANT_NUMBER 0.1"}, chan),
      stop("plane", {"OVERBANK_FLOW"}, chan),
      warn("plane", {"OVERBANK_MAX_DV 0.05"}, chan),
      stop("plane", {"OVERLAND_BACKWATER"}, chan),
      stop("plane", {"HEAD_BOUND"}, chan),
      warn("plane", {"BOUND_DEPTH 0.5"}, chan),
      warn("plane", {"BOUND_TS level"}, chan),
      stop("plane", {"STREAM_LOSS"}, chan),
      warn("plane", {"K_RIVER 0.01"}, chan),
      warn("plane", {"M_RIVER 0.5"}, chan),
      stop("plane", {"FIRST_ORDER_CHAN_Q 0.2"}, chan),
      warn("plane", {"STREAM_INFO"}, chan),
      stop("plane", {"WRITE_CHAN_HOTSTART end"}, chan),
      stop("plane", {"EXPLIC_BACKWATER end"}, chan),
      stop("plane", {"READ_CHAN_HOTSTART start"}, chan),
      stop("plane", {"EXPLIC_HOTSTART start"}, chan),
      warn("plane", {"HOTSTART_IS_DEPTH"}, chan),
      stop("plane", {"CHAN_CON_TRANS"}, chan),
      warn("plane", {"CHAN_DECAY_COEF 0.1"}, chan),
      warn("plane", {"CHAN_DISP_COEF 0.5"}, chan),
      stop("plane", {"INIT_CHAN_CONC 2"}, chan),
      stop("plane", {"CHAN_DEPTH d.out"}, chan),
      stop("plane", {"CHAN_DISCHARGE q.out"}, chan),
      stop("plane", {"CHAN_STAGE s.out"}, chan),
      stop("plane", {"CHAN_VELOCITY v.out"}, chan),
      stop("plane", {"CHAN_SED_FLUX f.out"}, chan),
      stop("plane", {"FLOOD_STREAM fl.out"}, chan),
      stop("plane", {"IN_HYD_LOCATION h.loc"}, chan),
      stop("plane", {"OUT_HYD_LOCATION h.out"}, chan),
      stop("plane", {"OUT_DEP_LOCATION d.out"}, chan),
      stop("plane", {"OUT_CON_LOCATION c.out"}, chan),
      stop("plane", {"OUT_MASS_LOCATION m.out"}, chan),
      stop("plane", {"IN_GWFLUX_LOCATION g.loc"}, chan),
      stop("plane", {"OUT_GWFLUX_LOCATION g.out"}, chan),
      warn("plane", {"LINKS links.asc"}, chan),
      warn("plane", {"ST_MAPPING_TABLE plane.ele"}, chan),
      stop("plane", {"SACRAMENTO hillside.sac"},
           "explicit channel routing (CHAN_EXPLIC): its model returns its water to the channels."),
      stop("plane", {"CONCEPTUAL_GW hillside.cgw"},
           "explicit channel routing (CHAN_EXPLIC): its model returns its water to the channels."),
      stop("plane", {"LAKE_OUTPUT lakes.out"},
           "lakes: the OVERLAND_LAKE_MAP card, or LAKE links of explicit channel routing (CHAN_EXPLIC)."),
      // The channel cards without their partner among the channels; OVERBANK_MAX_DV and LAKE_OUTPUT once the
      // channel input file is read.
      warn("vcatch", {"BOUND_DEPTH 0.5"}, "an outlet held at a level: the HEAD_BOUND card."),
      warn("vcatch", {"BOUND_TS level"}, "an outlet held at a level: the HEAD_BOUND card."),
      stop("vcatch", {"HEAD_BOUND", "BOUND_TS level", "BOUND_DEPTH 0.5"},
           "HEAD_BOUND and without the BOUND_TS card, whose series gives the outlet's depth in its place."),
      warn("vcatch", {"HOTSTART_IS_DEPTH"},
           "a channel hotstart to read: the READ_CHAN_HOTSTART (or EXPLIC_HOTSTART) card."),
      warn("vcatch", {"K_RIVER 0.01"}, bed),
      warn("vcatch", {"M_RIVER 0.5"}, bed),
      stop("vcatch", {"IN_GWFLUX_LOCATION g.loc"}, bed),
      stop("vcatch", {"OUT_GWFLUX_LOCATION g.out"}, "the channel nodes of the IN_GWFLUX_LOCATION card."),
      warn("vcatch", {"CHAN_DISP_COEF 0.5"},
           "constituents in the channels: CHAN_CON_TRANS, or the sediment classes of SOIL_EROSION of 10 or more."),
      warn("vcatch", {"CHAN_DECAY_COEF 0.1"}, channel_contaminants),
      stop("vcatch", {"INIT_CHAN_CONC 2"}, channel_contaminants),
      stop("vcatch", {"OUT_HYD_LOCATION h.out"}, "the channel nodes of the IN_HYD_LOCATION card."),
      stop("vcatch", {"OUT_DEP_LOCATION d.out"}, "the channel nodes of the IN_HYD_LOCATION card."),
      stop("vcatch", {"IN_HYD_LOCATION h.loc", "OUT_CON_LOCATION c.out"},
           "constituents in the channels: CHAN_CON_TRANS, or the sediment classes"),
      stop("vcatch", {"IN_HYD_LOCATION h.loc", "OUT_MASS_LOCATION m.out"},
           "constituents in the channels: CHAN_CON_TRANS, or the sediment classes"),
      warn("vcatch", {"LINKS links.asc"}, "the conceptual groundwater model (CONCEPTUAL_GW)."),
      warn("vcatch", {"ST_MAPPING_TABLE vcatch.ele"},
           "the nutrients of the channels (NUTRIENTS): only they take values from the stream mapping table."),
      stop("vcatch", {"CHAN_SED_FLUX f.out"}, "sediment in the channels (SOIL_EROSION with CHAN_EXPLIC)."),
      warn("vcatch", {"OVERBANK_MAX_DV 0.05"},
           "water spilling over the banks: the OVERBANK_FLOW card, or an OVERBANK record of a link in the channel "
           "input file, which has none."),
      stop("vcatch", {"LAKE_OUTPUT lakes.out"},
           "lakes: the OVERLAND_LAKE_MAP card, or a LAKE link of the channel input file, which has none."),
      // The cards with their partners act: OVERBANK_MAX_DV with a link's OVERBANK record, OVERLAND_BACKWATER on
      // its own, the bed's cards with STREAM_LOSS.
      {"vcatch", {"OVERBANK_MAX_DV 0.05"},
       "Running....", false, "vcatch.cif", "LINK 1\n", "LINK 1\nOVERBANK\n"},
      {"vcatch", {"OVERLAND_BACKWATER"},
       "Running....", false},
      {"vcatch", {"STREAM_LOSS", "K_RIVER 0.01", "M_RIVER 0.5"},
       "Running....", false},
      // Richards' cards without Richards' equation, and its weight without the arithmetic mean.
      warn("plane", {"RICHARDS_C_OPTION BROOKS"}, richards),
      warn("plane", {"RICHARDS_K_OPTION ARITHMETIC"}, richards),
      warn("plane", {"RICHARDS_WEIGHT 0.5"}, richards),
      warn("plane", {"RICHARDS_UPPER_OPTION GREEN"}, richards),
      warn("plane", {"RICHARDS_ITER_MAX 5"}, richards),
      warn("plane", {"RICHARDS_DTHETA_MAX 0.01"}, richards),
      warn("longterm_richards/richards", {"RICHARDS_WEIGHT 0.5"},
           "the arithmetic mean of the conductivities between nodes: the RICHARDS_K_OPTION card with ARITHMETIC."),
      {"longterm_richards/richards", {"RICHARDS_K_OPTION ARITHMETIC", "RICHARDS_WEIGHT 0.5"},
       "Running....", false},
      // The soil's depths, outputs and hotstarts without a soil.
      warn("plane", {"SOIL_MOIST_DEPTH 0.5"}, soil),
      warn("plane", {"TOP_LAYER_DEPTH 0.1"}, soil),
      warn("plane", {"MIXING_LAYER_DEPTH 0.02"},
           "contaminants in the soil or on its fines: SOIL_CON_TRANS or SEDIMENT_CONTAM."),
      stop("plane", {"INF_DEPTH ."}, scheme),
      stop("plane", {"RATE_OF_INFIL ."}, scheme),
      stop("plane", {"SURF_MOIST ."}, scheme),
      stop("plane", {"READ_SM_HOTSTART sm.asc"}, scheme),
      stop("plane", {"WRITE_SM_HOTSTART sm.asc"}, scheme),
      stop("plane", {"IN_THETA_LOCATION t.loc"}, scheme),
      stop("plane_infil", {"OUT_THETA_LOCATION t.out"}, "the cells of the IN_THETA_LOCATION card."),
      // The aquifer's cards without groundwater.
      warn("plane", {"AQUIFER_BOTTOM b.asc"}, groundwater),
      warn("plane", {"GW_UNIF_POROSITY 0.3"}, groundwater),
      warn("plane", {"GW_POROSITY_MAP p.asc"}, groundwater),
      warn("plane", {"GW_UNIF_HYCOND 1"}, groundwater),
      warn("plane", {"GW_HYCOND_MAP k.asc"}, groundwater),
      warn("plane", {"GW_TIMESTEP 60"}, groundwater),
      warn("plane", {"GW_LSOR_CON 0.001"}, groundwater),
      warn("plane", {"GW_LSOR_DIR 1"}, groundwater),
      warn("plane", {"GW_RELAX_COEFF 1.2"}, groundwater),
      warn("plane", {"GW_LEAKAGE_RATE 0.1"}, groundwater),
      warn("plane", {"GW_BOUNDFILE b.asc"}, groundwater),
      stop("plane", {"GW_FLUXBOUNDTABLE f.txt"}, groundwater),
      stop("plane", {"GW_FLUX_BOUNDTABLE f.txt"}, groundwater),
      stop("plane", {"USE_WELLS"}, groundwater),
      stop("plane", {"GW_WELL_LEVEL w.out"}, groundwater),
      stop("plane", {"OUT_WELL_LOCATION w.loc"}, groundwater),
      stop("plane", {"GW_OUTPUT ."}, groundwater),
      stop("plane", {"GW_RECHARGE_CUM ."}, groundwater),
      stop("plane", {"GW_RECHARGE_INC ."}, groundwater),
      stop("groundwater/storm", {"OUT_WELL_LOCATION w.loc"}, "the well levels of the GW_WELL_LEVEL card."),
      warn("plane", {"AQUIFER_DELTA_Z 0.1"}, "a water table (WATER_TABLE)"),
      warn("plane", {"GW_ASSIGN_THETA"}, "Richards columns over a water table (INF_RICHARDS with WATER_TABLE)."),
      warn("plane", {"TOPO_INDEX"}, "the Sacramento model (SACRAMENTO)."),
      // The weather's cards in a storm run.
      warn("plane", {"LATITUDE 40"}, weather),
      warn("plane", {"GMT -7"}, weather),
      warn("plane", {"HMET_ELEV_GAGE 100"}, weather),
      warn("plane", {"HMET_XCOORD_GAGE 500000"}, weather),
      warn("plane", {"HMET_YCOORD_GAGE 4000000"}, weather),
      warn("plane", {"HMET_LAPSE_RATE -6"}, weather),
      warn("plane", {"YES_DALR_FLAG 9.8"}, weather),
      warn("plane", {"SEASONAL_RS"}, weather),
      stop("plane", {"GTFSM"}, weather),
      warn("plane", {"EVENT_MIN_Q 0.5"},
           "a long-term run (LONG_TERM): its events end once the outlet falls below it."),
      warn("plane", {"SEASONAL_RS_SPRING 3"}, "the seasonal factor (SEASONAL_RS)."),
      // The weather's cards of a long-term run without their partners.
      warn("snow", {"HMET_LAPSE_RATE -6"}, "the temperatures of a second station (HMET_OROG_GAGES)"),
      stop("snow", {"HMET_OROG_GAGES orog.txt", "YES_DALR_FLAG 9.8"},
           "the elevation bands of one weather station, without HMET_OROG_GAGES"),
      warn("snow", {"SEASONAL_RS"},
           "what it scales: the canopy resistance of Penman-Monteith evapotranspiration (ET_CALC_PENMAN) or the "
           "interception capacity (INTERCEPTION_COEFF)."),
      warn("snow", {"STORAGE_CAPACITY snow.alb", "INTERCEPTION_COEFF snow.alb", "SEASONAL_RS", "SEASONAL_RS_FALL 10"},
           "the seasons of the SEASONAL_RS card from its months: SEASONAL_RS_SPRING above 0"),
      warn("snow", {"STORAGE_CAPACITY snow.alb", "INTERCEPTION_COEFF snow.alb", "SEASONAL_RS",
                    "SEASONAL_RS_SUMMER_START 6"},
           "the seasons of the SEASONAL_RS card from its months: SEASONAL_RS_SPRING above 0"),
      warn("snow",
           {"STORAGE_CAPACITY snow.alb", "INTERCEPTION_COEFF snow.alb", "SEASONAL_RS", "SEASONAL_RS_SUMMER_END 8"},
           "the seasons of the SEASONAL_RS card from its months: SEASONAL_RS_SPRING above 0"),
      stop("snow", {"STORAGE_CAPACITY snow.alb", "INTERCEPTION_COEFF snow.alb", "SEASONAL_RS", "SEASONAL_RS_FALL 10",
                    "SEASONAL_RS_SPRING 3"},
           "the other months of the seasons: SEASONAL_RS_SUMMER_START, SEASONAL_RS_SUMMER_END and SEASONAL_RS_FALL"),
      {"snow",
       {"STORAGE_CAPACITY snow.alb", "INTERCEPTION_COEFF snow.alb", "SEASONAL_RS", "SEASONAL_RS_SPRING 6",
        "SEASONAL_RS_SUMMER_START 4", "SEASONAL_RS_SUMMER_END 8", "SEASONAL_RS_FALL 11"},
       "Error: the months of the SEASONAL_RS card, SEASONAL_RS_SPRING 6, SEASONAL_RS_SUMMER_START 4, "
       "SEASONAL_RS_SUMMER_END 8 and SEASONAL_RS_FALL 11, are not in the order of the seasons", true},
      warn("longterm", {"CFGI_INDEX 90"}, "the frozen-ground index (CFGI)."),
      warn("longterm", {"CFGI_K 0.4"}, "the frozen-ground index (CFGI)."),
      // Snow in a storm run, card by card.
      stop("plane", {"NWSRFS_SNOW"}, snow),
      stop("plane", {"EB_SNOW"}, snow),
      warn("plane", {"SNOW_TEMP_BASE 1"}, snow),
      warn("plane", {"NWSRFS_MF_MAX 1.5"}, snow),
      warn("plane", {"NWSRFS_MF_MIN 0.2"}, snow),
      warn("plane", {"NWSRFS_SCF 1.1"}, snow),
      warn("plane", {"NWSRFS_FR_USE 0.5"}, snow),
      warn("plane", {"NWSRFS_TIPM 0.3"}, snow),
      warn("plane", {"NWSRFS_NMF 0.3"}, snow),
      warn("plane", {"NWSRFS_PLWHC 0.1"}, snow),
      warn("plane", {"NWSRFS_ELEV_SNOW bands.txt"}, snow),
      stop("plane", {"SNAP_RETENTION"}, snow),
      stop("plane", {"SNOW_NO_INFILTRATE"}, snow),
      stop("plane", {"ROUTE_LAT_SNOW"}, snow),
      warn("plane", {"SNOW_DARCY 1"}, snow),
      warn("plane", {"SNOW_ROUGHNESS 0.1"}, snow),
      {"plane", {"INIT_SWE_DEPTH 0.1"},
       "Warning: the INIT_SWE_DEPTH card on line {line} of the project file lays snow that no process of an event run "
       "melts: it lies on the cells, booked as storage", false},
      stop("plane", {"SNOW_SWE_FILE ."}, snow),
      // Snow in a long-term run: each melt takes its own parameters.
      stop("snow", {"EB_SNOW", "NWSRFS_SNOW"},
           "a melt by temperature index without EB_SNOW: the energy-balance melt takes its place."),
      warn("snow", {"NWSRFS_MF_MAX 1.5"}, index_melt),
      warn("snow", {"NWSRFS_MF_MIN 0.2"}, index_melt),
      warn("snow", {"NWSRFS_FR_USE 0.5"}, index_melt),
      warn("snow", {"EB_SNOW", "NWSRFS_SCF 1.1"}, not_energy_balance),
      warn("snow", {"EB_SNOW", "NWSRFS_TIPM 0.3"}, not_energy_balance),
      warn("snow", {"EB_SNOW", "NWSRFS_NMF 0.3"}, not_energy_balance),
      warn("snow", {"EB_SNOW", "NWSRFS_PLWHC 0.1"}, not_energy_balance),
      warn("snow", {"EB_SNOW", "NWSRFS_ELEV_SNOW bands.txt"}, not_energy_balance),
      warn("snow", {"SNOW_DARCY 1"}, "water flowing through the snowpack: ROUTE_LAT_SNOW or SNAP_RETENTION."),
      warn("snow", {"SNAP_RETENTION", "SNOW_DARCY 1", "SNOW_ROUGHNESS 0.1"},
           "the overland flow of snow-covered cells by Manning's law, without SNOW_DARCY"),
      stop("snow", {"OVERTYPE EXPLICIT", "ROUTE_LAT_SNOW"},
           "an ADE overland scheme (OVERTYPE ADE or ADE-PC): the explicit scheme routes no water through the "
           "snowpack."),
      {"snow", {"NWSRFS_SNOW", "NWSRFS_MF_MAX 1.5", "NWSRFS_FR_USE 0.5"},
       "finished event", false},
      // The rain's cards without their kind of rain.
      stop("gages", {"RAIN_INTENSITY 10"}, storm),
      stop("gages", {"RAIN_DURATION 60"}, storm),
      warn("gages", {"START_DATE 2024 5 12"}, dated),
      warn("gages", {"START_TIME 14 0"}, dated),
      warn("plane", {"RAIN_THIESSEN"}, "the gages of a precipitation file (PRECIP_FILE)."),
      warn("plane", {"RAIN_INV_DISTANCE"}, "the gages of a precipitation file (PRECIP_FILE)."),
      warn("plane", {"RADAR_MM"}, "the radar grids a precipitation file names (PRECIP_FILE)."),
      // Contaminants, sediment and nutrients without the process they act in.
      stop("plane", {"OV_CON_MAP ."}, overland),
      warn("plane", {"OV_DISP_COEF 0.1"}, overland),
      stop("plane", {"ALL_CONTAM_OUTPUT"}, transport),
      warn("plane", {"KINETICS_TIMESTEP_FACTOR 2"}, transport),
      warn("plane", {"OV_DECAY_COEF 0.1"}, uniform),
      warn("plane", {"OV_UPTAKE_RATE 0.1"}, uniform),
      stop("plane", {"OV_MASS_LOAD 1"}, uniform),
      stop("plane", {"CONTAM_MAP load.asc"}, uniform),
      stop("contaminant", {"OV_DECAY_COEF 0.1"}, contaminant_table),
      stop("contaminant", {"OV_UPTAKE_RATE 0.1"}, contaminant_table),
      stop("contaminant", {"OV_MASS_LOAD 1"}, contaminant_table),
      stop("contaminant", {"OV_DISP_COEF 0.1"}, contaminant_table),
      warn("plane", {"SOIL_STATIC_CONC"}, "soil contaminant transport (SOIL_CON_TRANS)."),
      warn("plane", {"WATER_TEMP 12"}, "eroded soil (SOIL_EROSION) or the nutrient model (NUTRIENTS)."),
      warn("plane", {"SAND_SIZE 0.06"}, "eroded soil (SOIL_EROSION)."),
      warn("hillslope", {"SED_POROSITY 0.4"}, "sediment in the channels (SOIL_EROSION with CHAN_EXPLIC)."),
      warn("hillslope", {"ADJUST_CHANNEL_BED"}, "sediment in the channels (SOIL_EROSION with CHAN_EXPLIC)."),
      stop("hillslope", {"FYSSI bed.out"}, "sediment in the channels (SOIL_EROSION with CHAN_EXPLIC)."),
      warn("plane", {"CHAN_PH 7"}, nsm),
      stop("plane", {"TOTAL_OV_N n.out"}, nsm),
      stop("plane", {"TOTAL_OV_P p.out"}, nsm),
      stop("vcatch", {"TOTAL_CHAN_N n.out"}, nsm_channels),
      stop("vcatch", {"TOTAL_CHAN_KN kn.out"}, nsm_channels),
      stop("vcatch", {"TOTAL_CHAN_P p.out"}, nsm_channels),
      stop("plane", {"NUTRIENTS", "ST_INIT_DO 8"}, nsm_channels),
      stop("plane", {"NUTRIENTS", "OUT_ST_NO3 no3"}, nsm_channels),
      stop("plane", {"NUTRIENTS", "OUT_HYD_NO3 no3"}, nsm_channels),
      stop("plane", {"SOILS_NSM_N"},
           "the nutrients of the soil: NUTRIENTS with SOIL_CON_TRANS and the mapping table's NSM_SOIL_N table."),
      stop("plane", {"SOILS_NSM_P"},
           "the nutrients of the soil: NUTRIENTS with SOIL_CON_TRANS and the mapping table's NSM_SOIL_P table."),
      stop("plane", {"SOILS_NSM_C"},
           "the nutrients of the soil: NUTRIENTS with SOIL_CON_TRANS and the mapping table's NSM_SOIL_C table."),
      // Outputs without what they write, and the cards of the outside framework and of ZV without them.
      {"plane", {"OUT_CELLDEPDIS_LOCATION plane.cdd"},
       "Error: the OUT_CELLDEPDIS_LOCATION card on line {line} of the project file acts only with the cells of the "
       "IN_CELLDEPDIS_LOCATION card.", true, "plane.prj", "IN_CELLDEPDIS_LOCATION  plane.loc", ""},
      warn("plane", {"OVERLAND_DEPTH_LOCATION d.loc"}, "the depth series of the OVERLAND_DEPTHS card."),
      warn("plane", {"OVERLAND_WSE_LOCATION w.loc"}, "the water-surface series of the OVERLAND_WSE card."),
      {"plane", {"MAP_FREQ 60"},
       "Warning: the MAP_FREQ card on line {line} of the project file changes nothing: it acts only with a map "
       "output: DEPTH, DISCHARGE, INF_DEPTH or another card of maps written every MAP_FREQ minutes.", false,
       "plane.prj", "DEPTH            .\n", ""},
      warn("snow", {"MAP_FREQ 60"},
           "a map output: DEPTH, DISCHARGE, INF_DEPTH or another card of maps written every MAP_FREQ minutes."),
      warn("snow", {"MAP_TYPE 1"},
           "a map output: DEPTH, DISCHARGE, INF_DEPTH or another card of maps, or FLOOD_GRID."),
      stop("plane", {"OVERLAND_LAKE_FILE lakes.txt"}, "the overland lakes of the OVERLAND_LAKE_MAP card."),
      stop("plane", {"ZEM_EVENT_NUM 1"}, zem),
      warn("plane", {"MOLA_FIRST"}, zem),
      stop("plane", {"MOIST_TO_MOLA m.asc"}, zem),
      stop("plane", {"KSAT_TO_MOLA k.asc"}, zem),
      stop("plane", {"ROUGH_TO_MOLA r.asc"}, zem),
      stop("plane", {"POROS_TO_MOLA p.asc"}, zem),
      stop("plane", {"MOIST_FROM_MOLA m.asc"}, zem),
      stop("plane", {"KSAT_FROM_MOLA k.asc"}, zem),
      stop("plane", {"ROUGH_FROM_MOLA r.asc"}, zem),
      warn("plane", {"ZV_SEGMENT_MAP seg.asc"}, zv),
      warn("plane", {"ZV_NODES_TO_SEGS segs.txt"}, zv),
      stop("plane", {"ZV_SEGMENT_FLUXES fluxes.out"}, zv),
      {"plane", {"SNOW_TEMP t.out"},
       "Error: the SNOW_TEMP card on line {line} of the project file is not available in this version of NIVRA.",
       true},
      // An aquifer that would start with less than no water, a well code
      // without the wells, an aquifer without its bottom.
      {"tiles", {}, "Error: the water table map field.wt gives 95.000000 at row 1, column 1, below the aquifer bottom "
                    "there (96.000000, of the map field.bot or the ground)", true,
       "field.wt", "99.70 99.70 99.70 99.70 99.70", "95.00 99.70 99.70 99.70 99.70"},
      {"tiles", {}, "Warning: the aquifer bottom map field.bot gives 200.000000 at row 1, column 2, at or above the "
                    "ground", true,
       "field.bot", "96.0 96.0 96.0 96.0 96.0", "96.0 200.0 96.0 96.0 96.0"},
      {"tiles", {}, "Error: the groundwater boundary codes give 1 cell(s) code 3, a well of the mapping table's "
                    "WELL_TABLE (the first at row 2, column 3), but the project does not use the wells", true,
       "field.bnd", "1 1 1 1 1\n1 1 1 1 1\n", "1 1 1 1 1\n1 1 3 1 1\n"},
      {"tiles", {}, "Error: the GW_SIMULATION card needs the AQUIFER_BOTTOM card: its map gives the aquifer's bottom "
                    "under every cell.", true,
       "tiles.prj", "AQUIFER_BOTTOM   field.bot\n", ""},
      // The aquifer's boundary codes from the mapping table (the boundary
      // map as its index map), without a map named; with neither the run
      // stops naming both.
      {"groundwater/storm", {"GW_BOUNDFILE"}, "groundwater boundary file from the mapping table", false,
       "hillside.cmt", "INDEX_MAP wells.idx \"Wells\"\n", boundary_table},
      {"tiles", {}, "Error: saturated groundwater (GW_SIMULATION) takes the cells' boundary codes from the map the "
                    "GW_BOUNDFILE card names or from the mapping table's GROUNDWATER_BOUNDARY table, and the project "
                    "gives neither.", true,
       "tiles.prj", "GW_BOUNDFILE     field.bnd\n", ""},
      // A soil wetter than its pores, from a map and from the mapping table.
      {"plane_infil", {}, "Error: the MOISTURE map plane_infil.moi gives cell 7 (row 2, column 1) the initial water "
                          "content 0.6, above its porosity 0.45 from the POROSITY map plane_infil.por", true,
       "plane_infil.moi", moisture_row, "0.150 0.150 0.150 0.150 0.150 0.150 0.150 0.150\n0.600"},
      {"mapped", {"GREEN_AMPT"}, "Error: the mapping table's GREEN_AMPT_INITIAL_SOIL_MOISTURE table gives cell 1 "
                                 "(row 1, column 3) the initial water content 0.5, above its porosity 0.434 from the mapping table's "
                                 "GREEN_AMPT_INFILTRATION table", true,
       "mapped.cmt", "Loam                                                                            0.20",
       "Loam                                                                            0.50"},
  };
  for (const ignored_case& c : cases) {
    SCOPED_TRACE(c.example + ": " + (c.cards.empty() ? c.to : c.cards.front()));
    const std::size_t slash = c.example.find('/');
    copy_example(c.example.substr(0, slash));
    const std::string project = c.example.substr(slash == std::string::npos ? 0 : slash + 1) + ".prj";
    set_cards(project, c.cards);
    if (c.file) {
      std::string text = read_file(c.file);
      const std::size_t at = text.find(c.from);
      ASSERT_NE(at, std::string::npos);
      text.replace(at, c.from.size(), c.to);
      write_file(c.file, text);
    }
    std::string fragment = c.fragment;
    if (const std::size_t at = fragment.find("{line}"); at != std::string::npos)
      fragment.replace(at, 6, std::to_string(line_of(project, c.cards.back())));
    expect_outcome(run({project}), fragment, c.stops);
  }
}

// Project files that ran before the checks of cards without their
// partners keep running: a card that only dates, formats or lays what the
// run does not use, and a flag followed by 1, change nothing; a storm run
// of a precipitation file with two events simulates the first. Each run ends
// with status 0, warns on the console naming the card and its line, and
// lists the warning among the run summary's warnings; the snow of an event
// run lies on its cells, booked at the start and the end.
TEST_F(BadInput, ProjectFilesUsersHaveKeepRunning) {
  struct kept_case {
    std::string example, project;
    std::vector<std::string> cards;  // added to the project
    std::string warning;             // without "Warning: "
    std::string removed = "";        // a line of the project taken out first
  };
  const kept_case cases[] = {
      {"gages", "gages", {"START_DATE 2024 5 12", "START_TIME 14 0"},
       "the START_DATE card on line 27 of the project file changes nothing: it acts only with a uniform storm "
       "(PRECIP_UNIF) or a long-term run (LONG_TERM): a storm run of a precipitation file starts at the first line of "
       "its first event."},
      {"contaminant", "contaminant", {"OV_CON_TRANS 1"},
       "the OV_CON_TRANS card on line 42 of the project file takes no value; the 1 after it changes nothing (the "
       "card is on).", "OV_CON_TRANS\n"},
      {"plane", "plane", {},
       "the MAP_FREQ card on line 31 of the project file changes nothing: it acts only with a map output",
       "DEPTH            .\n"},
      {"plane", "plane", {"INIT_SWE_DEPTH 0.1"},
       "the INIT_SWE_DEPTH card on line 35 of the project file lays snow that no process of an event run melts"},
      // A storm run simulates the first of the file's two events, whatever
      // QUIET says, and a TOT_TIME into the second says so too.
      {"gages", "gages", {"QUIET"},
       "the precipitation file gages.gag holds 2 events; a storm run simulates its first event (Thunderstorm of 12 "
       "May 2024) only and leaves out event 2 (Showers of 20 May 2024, from 2024-05-20 09:00). A long-term run "
       "(LONG_TERM) simulates them"},
      {"gages", "gages", {"TOT_TIME 11700", "QUIET"},
       "the TOT_TIME card on line 26 of the project file (11700 minutes) runs the storm run past the start of event 2 "
       "(Showers of 20 May 2024, from 2024-05-20 09:00)", "TOT_TIME           180\n"},
  };
  for (const kept_case& c : cases) {
    SCOPED_TRACE(c.warning);
    copy_example(c.example);
    const std::string prj = c.project + ".prj";
    std::string text = read_file(prj);
    if (!c.removed.empty()) {
      const std::size_t at = text.find("\n" + c.removed);
      ASSERT_NE(at, std::string::npos);
      text.erase(at + 1, c.removed.size());
    }
    for (const std::string& card : c.cards) text += card + "\n";
    write_file(prj, text);
    expect_outcome(run({prj}), "Warning: " + c.warning, false);
    const std::string summary = read_file(c.project + ".sum");
    const std::size_t list = summary.find("THE FOLLOWING WARNINGS ARE GIVEN:\n");
    ASSERT_NE(list, std::string::npos) << summary;
    EXPECT_NE(summary.find("-T" + c.warning.substr(1), list), std::string::npos) << summary;
  }
  // The snow of the event run: 0.1 m of water on each of the plane's 46
  // cells of 30 m, 4,140 m3, at the start and the end.
  const std::string summary = read_file("plane.sum");
  EXPECT_NE(summary.find("initial liquid-equiv. volume of snow:           4140.0"), std::string::npos) << summary;
  EXPECT_NE(summary.find("final volume of snow (cu. m):                  4140.0"), std::string::npos) << summary;
}

// Files of the run's inputs with one value or line changed.
struct file_case {
  const char* example;
  const char* file;
  std::string line_from;  // replaced by line_to in the file
  std::string line_to;
  std::string fragment;
};

TEST_F(BadInput, ValuesOfMapsAndSmallFilesAreCheckedWhereTheyAreRead) {
  const std::string row2 = "99.70 99.60 99.50 99.40 99.30 99.20 99.10 99.00";
  const std::string spot = "SPOT 4 3 4 0.5 99.20";
  const file_case cases[] = {
      {"plane", "plane.ele", row2, "99.70 99.60 inf 99.40 99.30 99.20 99.10 99.00",
       "Error: the map plane.ele holds inf at row 2, column 3; it takes a number from -11000 to 9000 (m)."},
      {"plane", "plane.ele", row2, "99.70 99.60 nan 99.40 99.30 99.20 99.10 99.00",
       "Error: the map plane.ele holds nan at row 2, column 3;"},
      {"plane", "plane.ele", row2, "99.70 99.60 1e308 99.40 99.30 99.20 99.10 99.00",
       "Error: the map plane.ele holds 1e308 at row 2, column 3;"},
      {"plane", "plane.ele", row2, "99.70 99.60 -1e308 99.40 99.30 99.20 99.10 99.00",
       "Error: the map plane.ele holds -1e308 at row 2, column 3;"},
      {"plane", "plane.ele", row2, "99.70 99.60 99.50 99.40 99.30 99.20 99.10",
       "Error: row 2 of the map plane.ele holds 7 values; the map has 8 columns."},
      {"dike", "dike.low", spot, "SPOT 4 3 4 0.5 nan",
       "Error: the SPOT card at line 2 of dike.low gives the crest elevation \"nan\"; it takes a number "
       "from -11000 to 9000 (m)."},
      {"dike", "dike.low", spot, "SPOT 4 3 4 inf 99.20",
       "Error: the SPOT card at line 2 of dike.low gives the width as a fraction of the cell \"inf\";"},
      {"dike", "dike.low", spot, "SPOT 4 three 4 0.5 99.20",
       "Error: the SPOT card at line 2 of dike.low gives the column \"three\"; it takes a whole number."},
      {"dike", "dike.low", spot, "SPOT 4 3 4 0.5",
       "Error: the SPOT card at line 2 of dike.low gives the crest elevation no value;"},
      // The notch's face again, from the cell across it.
      {"dike", "dike.low", spot, spot + "\nSPOT 5 3 1 0.5 99.20",
       "Error: SPOT card 2 of the low-spot file dike.low gives the top side of row 5, column 3 a notch, which SPOT "
       "card 1 gave already.\n"},
      // The precipitation file is read through before the run starts.
      {"gages", "gages.gag", "GAGES 2024 5 12 14 20    6.0   4.0", "GAGES 2024 5 12 14 20    6.0   nan",
       "Line 11 of the file gives \"nan\" for gage 2 of period line no. 3 (GAGES); it takes a finite number (mm)."},
      {"gages", "gages.gag", "GAGES 2024 5 12 14 20    6.0   4.0   3.0", "GAGES 2024 5 12 14 20    6.0   4.0   3.0  2.0",
       "Line 11 of the file holds \"2.0\" after its date and one value per gage (NRGAG 3); a period line holds its "
       "card, its date and one value per gage."},
      {"gages", "gages.gag", "GAGES 2024 5 12 14 20    6.0   4.0   3.0", "GAGES 2024 5 12 14 20    6.0   4.0",
       "Line 11 of the file (period line no. 3) gives 2 value(s) for the 3 gages (NRGAG); a period line holds one "
       "value per gage."},
      {"gages", "gages.gag", "GAGES 2024 5 12 14 20", "GAGES 2024 5 12 14 10",
       "On line no. 3 (line 11 of the file), the time of the recorded data, 2024/5/12 14:10, is the time of the "
       "previous line:\na GAGES period of no length"},
      {"gages", "gages.gag", "COORD 500285.0 4000135.0", "COORD 500285.0 4e400",
       "Line 7 of the file gives \"4e400\" for the northing of a gage (COORD); it takes a number (m)."},
      {"gages", "gages.cap", "0.5 0.5 0.5", "0.5 -0.5 0.5",
       "Error: the map gages.cap holds -0.5 at row 5, column 2; it takes a number from 0 to 1000 (mm)."},
      // A well pumping without end would empty the books.
      {"groundwater", "hillside.cmt", "0     0.0005  0", "0     1e308   0",
       "Error: line 17 of the mapping table file hillside.cmt gives the well 1 the rate 1e+308; it takes a number "
       "from -1000 to 1000 (m3/s).\n"},
      {"radar", "radar_1600.asc", "cellsize 60.0", "cellsize 0",
       "Error: line 5 of the radar file radar_1600.asc gives \"0\" for the cell size; it takes a number above 0"},
  };
  for (const file_case& c : cases) {
    SCOPED_TRACE(c.line_to);
    copy_example(c.example);
    std::string text = read_file(c.file);
    const std::size_t at = text.find(c.line_from);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, c.line_from.size(), c.line_to);
    write_file(c.file, text);
    const int status = run({std::string(c.example) + ".prj"});
    expect_outcome(status, c.fragment, true);
  }
}

TEST_F(BadInput, FilesReadAtTheirCardAreCheckedLineByLine) {
  struct series_case {
    std::vector<std::string> cards;
    const char* file;
    const char* text;
    std::string fragment;
  };
  const series_case cases[] = {
      {{"TIME_SERIES_FILE q.ts"}, "q.ts", "NIVRA_TS\nq\nABSOLUTE\n2024 6 15 12 0 1.5\n2024 13 1 0 0 2\nEND_TS\n",
       "Error: line 5 of the time series file q.ts (series [q]) names no date of the calendar"},
      {{"TIME_SERIES_FILE q.ts"}, "q.ts", "NIVRA_TS\nq\nRELATIVE\n0 0 0 0 0 1\n0 0 1 0 0 nan\nEND_TS\n",
       "Error: line 5 of the time series file q.ts (series [q]) has no finite value after its date"},
      {{"TIME_SERIES_FILE q.ts"}, "q.ts", "NIVRA_TS\nq\nABSOLUTE\n2024 x 15 12 0 1.5\nEND_TS\n",
       "Error: line 4 of the time series file q.ts (series [q]) does not begin with five whole numbers"},
      {{"TIME_SERIES_FILE none.ts"}, "other.ts", "", "Error: Time series file not found [none.ts]"},
      // A second series of a name could never be named.
      {{"TIME_SERIES_FILE q.ts"}, "q.ts",
       "NIVRA_TS\nq\nRELATIVE\n0 0 0 0 0 1\nEND_TS\nNIVRA_TS\nq\nRELATIVE\n0 0 0 0 0 2\nEND_TS\n",
       "Error: line 7 of the time series file q.ts names the series [q] a second time: every series of a run has its "
       "own name.\n"},
      {{"ELEV_SERIES_FILE r.es"}, "r.es", "NIVRA_ES\nrating\n0 0\n1 2\nEND_ES\nNIVRA_ES\n\"rating\"\n0 0\nEND_ES\n",
       "Error: line 7 of the elevation series file r.es names the series [rating] a second time"},
      {{"REPLACE_PARAMS keys.txt", "REPLACE_VALS vals.txt", "MANNING_N [N]"}, "vals.txt", "nan\n",
       "Error: line 1 of the value file vals.txt gives the key [N] the value \"nan\", which is not a finite "
       "number."},
      {{"REPLACE_PARAMS keys.txt", "REPLACE_VALS vals.txt", "MANNING_N [N]"}, "vals.txt", "\n",
       "Error: the file vals.txt holds only blanks."},
  };
  for (const series_case& c : cases) {
    SCOPED_TRACE(c.fragment);
    copy_example("plane");
    write_file("keys.txt", "1\n[N] \"%5.3lf\"\n");
    write_file(c.file, c.text);
    // Cards acted on at once come before the cards that use them.
    std::string project = read_file("plane.prj");
    std::string head;
    for (const std::string& card : c.cards) head += card + "\n";
    project.insert(project.find("WATERSHED_MASK"), head);
    write_file("plane.prj", project);
    const int status = run({"plane.prj"});
    expect_outcome(status, c.fragment, true);
  }
}

// Inputs a new user once saw taken without a word (one run hung): each now
// stops the run before its time loop, naming the file and the line (or the
// map's row and column), with a non-zero status.
TEST_F(BadInput, InputsOnceTakenSilentlyStopTheRun) {
  struct silent_case {
    const char* example;
    const char* project;
    std::vector<std::string> cards;  // added to the project
    const char* file;                // edited, or written when `from` is empty
    std::string from, to, fragment;
  };
  const std::string plane_row1 = "0 0 0 0 0 0 0 0\n";
  const silent_case cases[] = {
      {"vcatch", "vcatch.prj", {}, "vcatch.cif", "DX 20.0\n", "DX 20.0 m\n",
       "Error: the DX card at line 17 of the channel input file vcatch.cif holds \"m\" after its values"},
      {"vlake", "vlake.prj", {}, "vlake.cif", "LAKE\nNODES 2\n", "LAKE\nNODES 5\n",
       "Error: link 2 of the channel input file vlake.cif has no ELEV card for node point 3"},
      {"plane_lake", "plane_lake.prj", {}, "plane_lake.lkm", plane_row1, "1 0 0 0 0 0 0 0\n",
       "Error: the map plane_lake.lkm gives 1 to row 1, column 1, which lies outside the watershed mask"},
      {"plane_lake", "plane_lake.prj", {}, "plane_lake.lak", "LAKE 1 99.6 1440.0", "LAKE 1 99.6 100",
       "Error: the LAKE card at line 5 of the overland lake file plane_lake.lak gives lake 1 the volume 100.00 m3"},
      {"mapped", "mapped_infil.prj", {}, "mapped.cmt", "0.434  0.252  0.027  0.25  0.117",
       "0.434  0.252  0.027  0.50  0.117",
       "Error: line 19 of the mapping table file mapped.cmt gives a row of the GREEN_AMPT_INFILTRATION table a field "
       "capacity (value 6) above its porosity (value 3).\n"},
      {"plane_infil", "plane_layered.prj", {}, "plane_layered.sol", "0.20  0.25  10.0  0.45  0.30  0.10",
       "0.20  0.25  10.0  0.45  0.30  0.35",
       "Error: line 4 of the soil table plane_layered.sol gives layer 1 a wilting point (value 6) outside [0, its "
       "field capacity]"},
      {"urban", "urban.prj", {}, "urban.slk", "SJUNC 1 99.30 98.10 1.0 2 3 6", "SJUNC 1 99.30 98.10 1.0 12 3 6",
       "Error: the SJUNC card of superjunction 1 at line 9 of urban.slk gives an inlet type that is none of 0 to 10, "
       "888 and 999.\n"},
      {"plane", "plane.prj", {"TIME_SERIES_FILE q.ts"}, "q.ts", "", "NIVRA_TS\nq\nRELATIVE\n0 0 0 0 0 1\n",
       "Error: the time series [q] that begins at line 1 of the file q.ts has no END_TS line"},
      {"plane", "plane.prj", {"TIME_SERIES_FILE q.ts"}, "q.ts", "", "NIVRA_TS\nq\nMINUTES\n0 0 0 0 0 1\nEND_TS\n",
       "Error: line 3 of the time series file q.ts gives the series [q] the type \"MINUTES\""},
      // The run hung on this one: its overland steps shrank without end.
      {"plane", "plane.prj", {"XYBDYINPUT_OVDEP xy.txt"}, "xy.txt", "",
       "XY_OV_DEPTH\n1\nDATE TIME 20\n2024 6 15 12 0 1e6\n2024 6 15 15 0 1e6\nEND_TS\n",
       "Error: line 4 of the XY boundary input file xy.txt gives point 1 (cell 20) a depth of 1e+06; it takes a number "
       "from 0 to 100 (m).\n"},
  };
  for (const silent_case& c : cases) {
    SCOPED_TRACE(c.fragment);
    copy_example(c.example);
    if (c.from.empty()) {
      write_file(c.file, c.to);
    } else {
      std::string text = read_file(c.file);
      const std::size_t at = text.find(c.from);
      ASSERT_NE(at, std::string::npos);
      text.replace(at, c.from.size(), c.to);
      write_file(c.file, text);
    }
    // Cards acted on at once come before the cards that use them.
    std::string project = read_file(c.project);
    std::string head;
    for (const std::string& card : c.cards) head += card + "\n";
    project.insert(project.find("WATERSHED_MASK"), head);
    write_file(c.project, project);
    expect_outcome(run({c.project}), c.fragment, true);
  }
}

// Every file a project names is opened as an input file: a folder, an empty
// or blank file and a file that is not text are refused where they are
// opened, naming the file; a precipitation file without events and a pump
// file without pumps are refused where they are read.
TEST_F(BadInput, InputFilesThatAreNoTextFilesAreRefused) {
  enum class shape { folder, empty, blank, binary, text };
  struct open_case {
    const char* example;
    std::vector<std::string> cards;  // added to the project
    const char* file;
    shape kind;
    std::string text;  // of a text file
    std::string fragment;
  };
  const open_case cases[] = {
      {"plane", {}, "plane.ele", shape::folder, "", "Error: the file plane.ele is a folder, not a file.\n"},
      {"plane", {}, "plane.ele", shape::empty, "", "Error: the file plane.ele is empty.\n"},
      {"plane", {}, "plane.msk", shape::binary, "", "Error: the file plane.msk is not a text file"},
      {"gages", {}, "gages.gag", shape::folder, "", "Error: the file gages.gag is a folder, not a file.\n"},
      {"gages", {}, "gages.gag", shape::empty, "", "Error: the file gages.gag is empty.\n"},
      {"gages", {}, "gages.gag", shape::blank, "", "Error: the file gages.gag holds only blanks.\n"},
      {"gages", {}, "gages.gag", shape::binary, "", "Error: the file gages.gag is not a text file"},
      {"gages", {}, "gages.gag", shape::text, "# the storms are still to be typed in\n",
       "Error: the precipitation file gages.gag holds no EVENT card (up to its end at line 1).\n"},
      {"gages", {}, "gages.cap", shape::folder, "", "Error: the file gages.cap is a folder, not a file.\n"},
      {"plane", {"OV_PUMP pumps.txt"}, "pumps.txt", shape::folder, "",
       "Error: the file pumps.txt is a folder, not a file.\n"},
      {"plane", {"OV_PUMP pumps.txt"}, "pumps.txt", shape::blank, "", "Error: the file pumps.txt holds only blanks.\n"},
      {"plane", {"TIME_SERIES_FILE q.ts"}, "q.ts", shape::folder, "", "Error: the file q.ts is a folder, not a file.\n"},
  };
  for (const open_case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(static_cast<int>(c.kind)));
    std::filesystem::remove_all(c.file);
    copy_example(c.example);
    const std::string project = std::string(c.example) + ".prj";
    if (!c.cards.empty()) set_cards(project, c.cards);
    std::filesystem::remove_all(c.file);
    switch (c.kind) {
      case shape::folder: std::filesystem::create_directory(c.file); break;
      case shape::empty: write_file(c.file, ""); break;
      case shape::blank: write_file(c.file, "\n   \n\t\n"); break;
      case shape::binary: write_file(c.file, std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10) + "ncols 8\n"); break;
      case shape::text: write_file(c.file, c.text); break;
    }
    const int status = run({project});
    expect_outcome(status, c.fragment, true);
    std::filesystem::remove_all(c.file);
  }
}

// A count that disagrees with its lines names the file and the line.
TEST_F(BadInput, APrecipitationCountThatDisagreesWithItsLines) {
  struct count_case {
    std::string from, to, fragment;
  };
  const count_case cases[] = {
      {"NRPDS 7", "NRPDS 6",
       "Line 15 of the precipitation file is a GAGES line after the 6 period lines (NRPDS) of the EVENT titled:\n "
       "Thunderstorm of 12 May 2024\n"},
      {"NRPDS 7", "NRPDS 8",
       "Line 17 of the file begins with \"#\" where period line no. 8 of the 8 (NRPDS) of the EVENT titled\n "
       "Thunderstorm of 12 May 2024\nshould begin.\n"},
      {"NRPDS 4", "NRPDS 5",
       "Error: the precipitation file gages.gag ends, or gives a gage value that is not a number, at line 26, inside "
       "event 2 (Showers of 20 May 2024).\n"},
  };
  for (const count_case& c : cases) {
    SCOPED_TRACE(c.to);
    copy_example("gages");
    std::string text = read_file("gages.gag");
    text.replace(text.find(c.from), c.from.size(), c.to);
    write_file("gages.gag", text);
    expect_outcome(run({"gages.prj"}), c.fragment, true);
  }
}

// The static-flux table of the groundwater wells (m3 per day): a rate no
// well pumps, a cell given twice and a line beyond its count.
TEST_F(BadInput, TheStaticFluxTableTakesRatesAWellCanPumpOncePerCell) {
  struct flux_case {
    std::string table, fragment;
  };
  const flux_case cases[] = {
      {"1\n4 4 1e308\n", "Error: line 2 of the static flux table file flux.txt gives the flux 1e+308; it takes a "
                          "number from -86400000 to 86400000 (m3/day)\n"},
      {"2\n4 4 -40\n4 4 -50\n", "Error: line 3 of the static flux table file flux.txt names a cell that an earlier "
                                "line gave its flux"},
      {"1\n4 4 -40\n5 5 -50\n", "Error: line 3 of the static flux table file flux.txt holds a flux cell beyond the "
                                "count of the first line"},
  };
  for (const flux_case& c : cases) {
    SCOPED_TRACE(c.table);
    copy_example("groundwater");
    std::string project = read_file("storm.prj");
    project.replace(project.find("USE_WELLS\n"), 10, "GW_FLUXBOUNDTABLE flux.txt\n");
    write_file("storm.prj", project);
    write_file("flux.txt", c.table);
    expect_outcome(run({"storm.prj"}), c.fragment, true);
  }
}

// A location list with more locations than its count.
TEST_F(BadInput, AWellLocationBeyondItsCountIsRefused) {
  copy_example("groundwater");
  set_cards("storm.prj", {"GW_WELL_LEVEL wells.out", "OUT_WELL_LOCATION wells.loc"});
  write_file("wells.loc", "1\n4 4\n5 5\n");
  expect_outcome(run({"storm.prj"}),
                 "Error: line 3 of the well location file wells.loc holds more than the 1 wells its first value counts",
                 true);
}

// A card given a second time, written at the end of the plane example's
// project (34 lines: TIMESTEP on line 21, MANNING_N on 18, PRECIP_UNIF on
// 24), or moved: a card that stores a value given again with another value,
// or two cards that store into one field, stop the run naming both lines; a
// card given again with the same values, or a flag given again, changes
// nothing and the run goes on with a warning.
TEST_F(BadInput, ACardGivenTwiceIsNamedWithBothLines) {
  struct twice_case {
    std::vector<std::string> lines;  // added at the end of plane.prj
    std::string fragment;
    bool stops;
    std::string moved = "";          // a card of the project taken out first
  };
  const twice_case cases[] = {
      {{"TIMESTEP 30"},
       "Error: the TIMESTEP card is given twice in the project file (lines 21 and 35) with different values; give it "
       "once.", true},
      {{"MANNING_N 0.08"},
       "Error: the MANNING_N card is given twice in the project file (lines 18 and 35) with different values; give it "
       "once.", true},
      {{"START_DATE 2024 6 16"},
       "Error: the START_DATE card is given twice in the project file (lines 22 and 35) with different values; give "
       "it once.", true},
      {{"SUMMARY other.sum"},
       "Error: the SUMMARY card is given twice in the project file (lines 28 and 35) with different values; give it "
       "once.", true},
      {{"DIKE_MAP plane.dik", "EMBANKMENT other.dik"},
       "Error: the EMBANKMENT card is given twice in the project file (lines 35 and 36, the first as DIKE_MAP) with "
       "different values; give it once.", true},
      // The same values again change nothing: a warning, and the run goes
      // on (a number as a number, an option word in any case).
      {{"# the same step again", "", "timestep 10.0"},
       "Warning: the TIMESTEP card is given twice in the project file (lines 21 and 37); the second changes "
       "nothing.", false},
      {{"MANNING_N 5e-2"},
       "Warning: the MANNING_N card is given twice in the project file (lines 18 and 35); the second changes "
       "nothing.", false},
      {{"OVERTYPE ade", "START_DATE 2024 6 15"},
       "Warning: the START_DATE card is given twice in the project file (lines 22 and 36); the second changes "
       "nothing.", false},
      {{"GREEN_AMPT", "INF_RICHARDS"},
       "Error: the GREEN_AMPT and INF_RICHARDS cards set the same value in the project file (lines 35 and 36); give "
       "one of them.", true},
      // The rain sources in the other order: the gage file first.
      {{"PRECIP_FILE storm.gag", "PRECIP_UNIF"},
       "Error: the PRECIP_FILE and PRECIP_UNIF cards set the same value in the project file (lines 34 and 35); give "
       "one of them.", true, "PRECIP_UNIF"},
      {{"PRECIP_UNIF"},
       "Warning: the PRECIP_UNIF card is given twice in the project file (lines 24 and 35); the second changes "
       "nothing.", false},
  };
  for (const twice_case& c : cases) {
    SCOPED_TRACE(c.lines.back());
    copy_example("plane");
    std::string text = read_file("plane.prj");
    if (!c.moved.empty()) {
      const std::size_t at = text.find("\n" + c.moved);
      text.erase(at + 1, text.find('\n', at + 1) - at);
    }
    for (const std::string& line : c.lines) text += line + "\n";
    write_file("plane.prj", text);
    const int status = run({"plane.prj"});
    expect_outcome(status, c.fragment, c.stops);
  }
}

TEST_F(BadInput, WhatIsGivenAsTheProjectIsNamedForWhatItIs) {
  write_file("empty.prj", "");
  std::filesystem::create_directory("basin");
  struct project_case {
    const char* name;
    const char* fragment;
  };
  for (const project_case& c :
       {project_case{"empty.prj", "Error: empty.prj is empty: a project file begins with the line NIVRAPROJECT.\n"},
        project_case{"basin", "Error: basin is a folder, not a project file.\n"}}) {
    SCOPED_TRACE(c.name);
    const int status = run({c.name});
    expect_outcome(status, c.fragment, true);
    EXPECT_EQ(console.find("dos2unix"), std::string::npos);
  }
}

TEST_F(BadInput, BatchRunsAndRunCounts) {
  copy_example("plane");
  EXPECT_EQ(run({"-b-5", "plane.prj"}), 1);
  EXPECT_NE(console.find("Error: -b-5 asks for -5 runs; give the number of runs (0 or more)"),
            std::string::npos);
  EXPECT_EQ(console.find("batch mode"), std::string::npos);

  // The time step of each run comes from its line of the value file.
  set_cards("plane.prj", {"TIMESTEP [T]"});
  std::string project = read_file("plane.prj");
  project.insert(project.find("WATERSHED_MASK"), "REPLACE_PARAMS keys.txt\nREPLACE_VALS vals.txt\n");
  write_file("plane.prj", project);
  write_file("keys.txt", "1\n[T] \"%s\"\n");
  struct batch_case {
    const char* values;
    int status;
    const char* fragment;
  };
  const batch_case cases[] = {
      {"nan\n-10\n", 1,
       "2 of the 2 batch runs stopped with an error: runs 0000_ (value line 1), 0001_ (value line 2).\n"},
      // A failed run fails the batch, named by its files' number.
      {"10\nabc\n", 1, "1 of the 2 batch runs stopped with an error: run 0001_ (value line 2).\n"},
      {"abc\n10\n", 1, "1 of the 2 batch runs stopped with an error: run 0000_ (value line 1).\n"},
      // The second run's line is not there: it does not run the first's again.
      {"10\n", 1, "Error: line 2 of the value file vals.txt is asked for (REPLACE_LINE or the batch run), but the file "
                  "holds 1 lines.\n"},
  };
  for (const batch_case& c : cases) {
    SCOPED_TRACE(c.values);
    write_file("vals.txt", c.values);
    std::filesystem::remove("0000_plane.otl");
    std::filesystem::remove("0001_plane.otl");
    EXPECT_EQ(run({"-b2", "plane.prj"}), c.status);
    EXPECT_NE(console.find(c.fragment), std::string::npos) << console;
    // The good run's outputs stand beside the failed one's.
    if (c.values[0] == '1') EXPECT_NE(read_file("0000_plane.otl"), "");
  }
  write_file("vals.txt", "10\n10\n");
  EXPECT_EQ(run({"-b2", "plane.prj"}), 0);
  EXPECT_EQ(console.find("stopped with an error"), std::string::npos);
}

TEST_F(BadInput, TheUsageTextListsEveryModeAndNoneAsNotAvailable) {
  run({});
  EXPECT_EQ(console.find("ot available"), std::string::npos) << console;
  for (const char* mode : {"-b = batch mode", "-c = SCE calibration", "-m = Monte Carlo", "-s = sensitivity",
                           "-slm = Levenberg-Marquardt", "-ms = multistart", "-mls = multi-level single linkage",
                           "-t = trajectory repulsion"}) {
    SCOPED_TRACE(mode);
    EXPECT_NE(console.find(mode), std::string::npos);
  }
}

}  // namespace
}  // namespace nivra
