#include "core/errors.h"

#include <cstdio>
#include <string>

#include "core/guarded_file.h"
#include "core/process.h"

namespace nivra {

namespace {

// The message table. Markers stand for the block's arguments:
// \x01 str1, \x02 str2, \x03 int1, \x04 int2.
const char* const message_table[highest_message_code] = {
    /*   1 */ "Error: Can't open file debug.out\n",
    /*   2 */ "Error: You must give the name of a valid NIVRA project file as a command line\nargument.\n",
    /*   3 */ "Error: The specified project file was not found.\n",
    /*   4 */ "Error: Unable to open " "\x01" " file.\n  (File: " "\x02" ")\n",
    /*   5 */ "Error: NIVRA not compiled with QUIB, but QUIB file format specified\n",
    /*   6 */ "Error: You have specified both spatially-varied and uniform Manning roughness\nusing both the ROUGHNESS and MANNING_N project file cards.  Only one of\nthese may be specified.  Select only one option.\n",
    /*   7 */ "Error: You have specified both the Penman Montieth and Deardorff\nevapo-transpiration calculation methods.  Only one may be \nspecified for long-term simulations.  Select only one method.\n",
    /*   8 */ "Error: You have specified two of either the Surface Airways, SAMSON, or GUV\nhydromet. file input type.  Only one file type may be specified for GINT-\nterm simulations.  Select only one method.  Check your project file.\n",
    /*   9 */ "Error: You have specified neither the Penman Montieth or Deardorff\nevapo-transpiration calculation methods.  One method must be \nspecified for long-term simulations.  Select only one method.\n",
    /*  10 */ "Error: You have specified both a rain gage file, and uniform rainfall\noptions.  These options are mutually exclusive.  Please select\nonly one option.\n",
    /*  11 */ "Error: You have an error in your input due to one of the following:\n\n - You have not specified a precipitation card in your project file.\n   One of either PRECIP_UNIF or PRECIP_FILE must be specified.\n   The PRECIP_FILE card must be followed by the name of the precipitation\n   input data file.  If PRECIP_UNIF is specified, then the RAIN_DURATION\n   and RAIN_INTENSITY cards must also be given, followed by the proper values\n - You have specified spatially-uniform rainfall with either a zero\n   rate or duration.  Please check that your rain rate in mm/h or\n   rain duration in minutes are both non-zero.\n",
    /*  12 */ "Error: The number of X-windows plot ordinates " "\x03" " is greater than the dimension of the array " "\x04" "\n",
    /*  13 */ "Error: The project file specifies X-Windows plotting, but does not specify what to plot.\nYou must include one or more of the following cards: XRAIN, XDEPTH, or XINFDEP\n",
    /*  14 */ "Warning: X-Windows Graphics Warning:\nThe project file specifies X-Windows plotting of channel flow depth, but does\nnot specify a channel routing method card.  This plotting routine\ncan only plot channel flow depth when using channel routing.  Plotting of\nchannel flow depth disabled.\nYou must include the one of the following cards: CHAN_EXPLIC to enable\nplotting of channel flow depth in an X-window.\n\n",
    /*  15 */ "Error: The project file specifies X-Windows plotting, but does not specify how often to plot.\nYou must include the following card: X_FREQ  N, where N is the plotting frequency.\n",
    /*  16 */ "Warning: X-Windows Graphics Warning:\nThe project file specifies X-Windows plotting of infiltrated depth, but does\nnot specify an infiltration method card.  This plotting routine\ncurrently only plots infiltrated depth when using the Green & Ampt or\nGreen & Ampt with redistribution methods.  Plotting of infiltrated depth\ndisabled.\nYou must include the one of the following cards: INF_REDIST or GREEN_AMPT\nto enable plotting of infiltrated depth in an X-window.\n\n",
    /*  17 */ "X-Windows Graphics Warning:\nThe project file specifies X-Windows plotting of soil surface moisture, but\ndoes not specify an infiltration method card.  This plotting routine\ncurrently plots soil surface water content when using the Green & Ampt,\nGreen & Ampt with redistribution or Richards Equation.  Plotting of soil\nsurface water content disabled.\nYou must include the one of the following cards: INF_REDIST, GREEN_AMPT\nor INF_RICHARDS to enable plotting of surface water content in an X-window.\n\n",
    /*  18 */ "Error: The project file specifies both plotting of cumulative infiltrated depth via the\nXINFDEP card and plotting of soil surface water content via the XSURF card.\nOnly one of the cards may be present in the project, because they are drawn\nin the same region of the X-Window.  Remove one of the cards.\n",
    /*  19 */ "Error: Either your XWIN_WIDTH is less than 750 or XWIN_HEIGHT is less than 500 pixels.\nThese are the minimum values that allow legible plotting in the X-Window.  Make\nthe values in your project file at least as large as these lower limits.\nAdvanced apologies to those executing this program on a Palm Pilot.\n",
    /*  20 */ "Error: For long-term simulations, you must specify the redistribution form\nof the Green and Ampt infiltration equation.  Redistribution requires\nvalues of pore distribution index and residual saturation in addition\nto the 4 standard Green and Ampt parameters (hydraulic conductivity,\ncapillary head, porosity, and initial soil moisture content).\n\nChange the infiltration option to Green & Ampt with redistribution\nand specify the 6 required parameters.\n",
    /*  21 */ "Error: Albedo values not specified for long term simulation. Check project file.\n",
    /*  22 */ "Error: Vegetation height values not specified for Penman-Montieth long term simulation.\n Check project file.\n",
    /*  23 */ "Error: Transmission coeff. values not specified for Penman-Montieth long term simulation.\n Check project file.\n",
    /*  24 */ "Error: tomatal resistance values not specified for Penman-Montieth long term simulation.\n Check project file.\n",
    /*  25 */ "Error: Wilting point values not specified for Penman-Montieth long term simulation.\n Check project file.\n",
    /*  26 */ "Error: You have specified both Green and Ampt and multi-layered\nsoil infiltration.  Please select only one in the \nproject file.\n",
    /*  27 */ "Error: You have specified both redistribution and multi-layered\nsoil infiltration.  Please select only one in the \nproject file. \n",
    /*  28 */ "Error: You have specified both Layered Soil and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n",
    /*  29 */ "Error: You have specified both Green and Ampt and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n",
    /*  30 */ "Error: You have specified both redistribution and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n",
    /*  31 */ "Error: You have specified both Layered Soil and Richards\nsoil infiltration.  Please select only one in the \nproject file. \n",
    /*  32 */ "Error: Groundwater cell vertical grid size not specified in project file.\nIf you are simulating the influence of the water table on Richards\nequation, you must put the AQUIFER_DELTA_Z card in the project file.\n",
    /*  33 */ "Error: You have chosen both Green and Ampt and Redististribution\nChoose one or the other and try again\n",
    /*  34 */ "Error: Both the drain and backwater channel initialization methods have been\nselected.  Only one method may be specified. \n",
    /*  35 */ "Error: Preissmann implicit channel routing is not supported by NIVRA.\nSelect explicit channel routing method. \n",
    /*  36 */ "Error: Both the implicit and explicit channel routing methods have been\nselected.  Only one method may be specified. \n",
    /*  37 */ "Error: Both the explicit and mesh channel routing methods have been\nselected.  Only one method may be specified.  Program terminated\n",
    /*  38 */ "You have specified both spatially-varied and uniform porosity for\ngroundwater soil using both the gw_unif_porosity and gw_porosity_map\nproject file cards. Only one of these may be specified.\nSelect only one option.\n",
    /*  39 */ "Warning: You have specified neither spatially-varied, uniform, or mapping table porosity for\ngroundwater soil without using both the gw_unif_porosity and\ngw_porosity_map project file cards. Groundwater porosities will be the.\nsame as those in the last layer of your soil input table.\n",
    /*  40 */ "You have specified both spatially-varied and uniform hydraulic\nconductivity for groundwater soil using both the gw_unif_hycond and\ngw_hycond_map project file cards. Only one of these may be specified.\nSelect only one option.\n",
    /*  41 */ "Warning: You have specified neither spatially-varied, uniform, or mapping table hydraulic \nconductivity for groundwater soil without using both the gw_unif_hycond\nand gw_hycond_map project file cards. Groundwater hydraulic conductivies \nwill be taken from the soil input table.\n",
    /*  42 */ "Error: You have specified both groundwater routing and Sacramento soil moisture\naccounting.  These two methods are mutually-exclusive.  Use one or the other.\n",
    /*  43 */ "Error: You have specified that NIVRA is being run within ZEM, but you did\nnot specify the model(s) that are being co-run.  The present options are:\nMOLA.  If you want to run with MOLA for instance, you must place the MOLA\nproject file card in the project file. \n",
    /*  44 */ "Error: NIVRA is running within ZEM in event mode.  The ZEM_EVENT_NUM card\nwas placed in the NIVRA project file without an argument.  The\nZEM_EVENT_NUM card must be followed by a GINT int argument that specifies\nthe event number to be simulated.  If 'ZEM_EVENT_NUM 0' is specified,\nthen NIVRA writes out all available precip. events into the file named\nZEM_PRECIP.SUM, and terminates.  If the ZEM_EVENT_NUM argument is greater than\n0, then that particular event is simulated.  Check the project file. \n",
    /*  45 */ "Error: Groundwater simulations in NIVRA within the ZEM environment\nare not yet supported. \n",
    /*  46 */ "Error: You have specified that NIVRA is being run with MOLA, but you did\nnot specify that NIVRA is being run within the ZEM environment.\nNIVRA only runs with MOLA in the ZEM environment.  You must place the\nZEM project file card in the project file, and pay close attention to\nstart-up conditions. (e.g. ZEM_EVENT_NUM card). \n",
    /*  47 */ "Error: Unable to open QUIB data source " "\x01" ", " "\x02" ".\n",
    /*  48 */ "Error: Can't open theta location output file: " "\x02" "\nYou specify the name of the output file which will contain the soil moisture\nordinates at the points specified in the file " "\x01" "\nThis is done by using the OUT_THETA_LOCATION card in the project file.\n",
    /*  49 */ "Error: Can't open concentration location output file: " "\x01" "\nYou specify the name of the output file which will contain the concentration\nordinates at the points specified in the file " "\x02" "\nThis is done by using the OUT_CON_LOCATION card in the project file.\n",
    /*  50 */ "Error: Can't open depth location output file: " "\x01" "\nYou specify the name of the output file which will contain the depth\nordinates at the points specified in the file " "\x02" "\nThis is done by using the OUT_DEP_LOCATION card in the project file.\n",
    /*  51 */ "Error: Can't open hydrograph location output file: " "\x01" "\nYou specify the name of the output file which will contain the hydrograph\nordinates at the points specified in the file " "\x02" "\nThis is done by using the OUT_HYD_LOCATION card in the project file.\n",
    /*  52 */ "Error: Time step is 0 seconds.\n",
    /*  53 */ "Error: Time step is greater than 60 seconds.\n",
    /*  54 */ "Error: The time step (" "\x03" ") must be evenly divisible into 60 seconds.\n",
    /*  55 */ "Warning: Write hydrograph time step not specified, defaulting to 1 hour.\n",
    /*  56 */ "Error: Outlet slope not specified.\n",
    /*  57 */ "Error: Latitude and longitude of basin centroid required for long-term simulations.\nSpecify these in the project file using keywords 'latitude' and 'longitude'\n",
    /*  58 */ "Error: GMT time offset required for long-term simulations.\nSpecify the offset in the project file using keyword 'GMT'\n",
    /*  59 */ "Error: Can't open output file: " "\x02" "\n",
    /*  60 */ "Error: Unable to open the QUIB file " "\x02" " for output.\n",
    /*  61 */ "Error: Unable to open output data set group " "\x02" " for writing in the grid " "\x01" " of the QUIB file.",
    /*  62 */ "Error: Unable to create " "\x02" " map in the QUIB file\n",
    /*  63 */ "Error: Unable to open output data set group " "\x02" " for writing in the stream " "\x01" " of the QUIB file.",
    /*  64 */ "Unable to open Mapping Table file: " "\x02" "\n",
    /*  65 */ "Unable to open index file " "\x02" "\n",
    /*  66 */ "Problem reading mapping table file -- no entries found in table " "\x01" " (NUM_IDS is 0)\n",
    /*  67 */ "There is a problem with the wetlands index map.  It contains\n" "\x03" " ID's, while the mapping table file contains " "\x04" " ID's.\nThe index map and mapping table file must have the same number\nof ID's. \n",
    /*  68 */ "The number of wetland ids specified in the master table file \nis over 300!  This is highly unusual.  I'm bombing... in a   \ndazed and confused state.  So many wetlands!\n",
    /*  69 */ "Error reading the contaminant transport tables in the mapping table file.\n",
    /*  70 */ "Unexpected end of file in file: " "\x02" "\n",
    /*  71 */ "Index ID exceeds table limit, file: " "\x02" " [row " "\x03" ":col " "\x04" "]\n",
    /*  72 */ "Incorrect number of rows and columns in map: " "\x02" "\n",
    /*  73 */ "Incorrect number of rows in map: " "\x02" "\n",
    /*  74 */ "Incorrect number of columns in map: " "\x02" "\n",
    /*  75 */ "Error: There were " "\x03" " errors trying to open the nutrient output files.\nThe last error was: unable to open nutrient output file " "\x02" ".\n",
    /*  76 */ "Error: unable to open the aquatic environment file " "\x02" ".\n",
    /*  77 */ "Error: The header for the aquatic environment file is invalid or does not match \n the current version. \n The aquatic environment file specified is: " "\x02" "\n The header should be : " "\x01",
    /*  78 */ "Error: An index [" "\x03" "] in the aquatic environment table is greater than the\nnumber of IDs specified [" "\x04" "]\n",
    /*  79 */ "Error: The NUTRIENTS card in the project file must be specified before the " "\x01" " card\n",
    /*  80 */ "Error: Unable to open the nutrient file " "\x02" "\n",
    /*  81 */ "Error: Unable to open the overland Aquatic Environment map.\n",
    /*  82 */ "Error: Unable to open the nutrient summary file\n",
    /*  83 */ "Error: Unable to open the overland pump file\n",
    /*  84 */ "Error: The OV_BOUNDARY card has been specified in the project file but the \n       OVERLAND_BOUNDARY table was not found...\n",
    /*  85 */ "Error: Incorrect usage of the RATING_CURVE card. It should be STRUCTTYPE RATING_CURVE " "\"" "elev series name" "\"" "\nThe elevation series is missing\n",
    /*  86 */ "Error: The elevation series for a RATING_CURVE card is not found. Make sure that the elevation series\n file is in the project file before the channel input file and that the elevation series is defined.",
    /*  87 */ "Error: Incorrect usage of the SCHEDULED_RELEASE card. It should be STRUCTTYPE SCHEDULED_RELEASE " "\"" "time series name" "\"" "\nThe time series is missing\n",
    /*  88 */ "Error: The time series for a SCHEDULED_RELEASE card is not found. Make sure that the time series\n file is in the project file before the channel input file and that the time series is defined.",
    /*  89 */ "Error: Incorrect usage of the RULE_CURVE card. It should be STRUCTTYPE RULE_CURVE " "\"" "elev series name" "\"" "\nThe elevation series is missing\n",
    /*  90 */ "Error: The elevation series for a RULE_CURVE card is not found. Make sure that the elevation series\n file is in the project file before the channel input file and that the elevation series is defined.",
    /*  91 */ "Error: The number of sediments specified in the SEDIMENTS table is " "\x03" " while the number of sediments \nspecified in the SED_EROS_PROPS table is " "\x04" ". The values must match.\n",
    /*  92 */ "Error: Sediment transport specified but sediments table missing in the .cmt file.\n",
    /*  93 */ "Error: Unable to read the soil erosion properties table from mapping table file\n",
    /*  94 */ "Error: 0.0 values for roughness found. Check the roughness map/table\n",
    /*  95 */ "Warning: There are no segments in the ZV segment map.\n",
    /*  96 */ "Warning: The NIVRA to ZV internal segment flux option is turned on\nBut there are no segments in the ZV segment map or in the link-node to segment file.\n",
    /*  97 */ "Error: In the ZV internal stream flux to segment file, some link/node pairs \nrefer to a segment of 0 or a segment that is not in the segment map file.\n",
    /*  98 */ "Error: Unable to open the ZV internal flux output file [" "\x02" "].\n",
    /*  99 */ "Too many super-junctions (>1000!) in superlink.  Your network is too large.\n",
    /* 100 */ "Too many nodes (>50!) in one link in superlink.  Your network is too large.\n",
    /* 101 */ "Too many superlinks (>1000!) in superlink.  Your network is too large.\n",
    /* 102 */ "Error in creating radar mapping to grid.\n",
    /* 103 */ "Error: unable to read value for CALIB_COMP_DATA. Please provide one of DAILY, EVENT. \n",
    /* 104 */ "Error: unable to read value for CALIB_OBJ_FUNC. Please provide one of RMSE, HMLE. \n",
    /* 105 */ "Error: Calibration is turned on but one or more values for CALIB_COMP_DATA, CALIB_OBJ_FUNC are invalid.\n",
    /* 106 */ "Error: Unable to calibration observed data file (CALIB_OBS_DATA) : " "\x02" ".\n",
    /* 107 */ "Error: Invalid header line in the observed data file. Should be OBS_DATA_FILE.\n",
    /* 108 */ "Error: Invalid NUM_LOCATIONS line in the observed data file. \nIt should be the second line in the file.\n",
    /* 109 */ "Error: Invalid NUM_DATA_POINTS line in the observed data file. \nIt should be the third line in the file.\n",
    /* 110 */ "Error: The number of output locations in the observed data file \ndoes not match the number of output locations in the outlet \nhydrograph file.\n",
    /* 111 */ "Error: Invalid data line in the observed data file. Check file.\n",
    /* 112 */ "Error: More event/daily values in the observed data file than specified by the NUM_DATA_POINTS value. Check file.\n",
    /* 113 */ "Error: A location number is not valid in the observed data file. Check file.\n",
    /* 114 */ "Error: Reached end of observed data file before finding all of the data values. Check file.\n",
    /* 115 */ "Unable to open stream map file " "\x02" "\n",
    /* 116 */ "Stream map file does not use correct header (file: " "\x02" ")\n",
    /* 117 */ "NLINKS or MAXNODES card in stream map file does not match channel input file (file: " "\x02" ")\n",
    /* 118 */ "Error reading data from stream map file. Check to make sure that the correct number of \ndata points exist for each link. (file: " "\x02" ")\n",
    /* 119 */ "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Grid): " "\x01" "\n",
    /* 120 */ "Error: Nutrient constituent to use mapping table for input value but no mapping table exists (Stream): " "\x01" "\n",
    /* 121 */ "Error: Unable to open the stream Aquatic Environment map.\n",
    /* 122 */ "no convergence in culvert critical depth routine\n",
    /* 123 */ "arch culverts not yet supported in subroutine crit_calc() \n",
    /* 124 */ "Root must be bracketed in ZBRENT\n",
    /* 125 */ "Error: The number of contaminants is not a positive value.\n",
    /* 126 */ "Error: the mapping table for the groundwater table is not set up correctly. Check index map file names.\n",
    /* 127 */ "Error: Stream head boundary time series (" "\x01" ") can not be found. Check project file.\n",
    /* 128 */ "You are trying to simulate NSM soil dynamics without specifying a soil bulk density table.\n",
    nullptr,  // 129
    /* 130 */ "Error: unable to open the nutrient summary file.\n",
    /* 131 */ "Error: Pipe invert must be above the bottom of the aquifer\n",
    /* 132 */ "You are trying to simulate Richards' Equation soil dynamics but without using a valid soil type index map.\nIndex map filename = " "\x02" "\n",
    /* 133 */ "Error: NaN error in groundwater tile exchange\n",
    /* 134 */ "NIVRA crashed during an update of Superlink, Check your Superlink/Supernode network/numbering " "\x02" "\n",
    /* 135 */ "Error: observed data file improperly formatted.\n",
    /* 136 */ "You are trying to simulate MLGA soil dynamics but without using a valid soil type index map.\nIndex map filename = " "\x02" "\n",
};

// The parameter-estimation toolbox: codes first_toolbox_code and up.
const char* const toolbox_table[last_toolbox_code - first_toolbox_code + 1] = {
    /* 201 */ "Cannot open " "\x02" " \n",
    /* 202 */ "\nThe log transformed parameter " "\x01" " has an input value less than zero!\nProgram terminating.\n",
    /* 203 */ "Error reading prior information\n  (File: " "\x02" ", line " "\x03" ")\n",
    /* 204 */ "Error: the toolbox control file " "\x02" ", line " "\x03" ": " "\x01" ".\n",
    /* 205 */ "Error: the toolbox control file " "\x02" " ends before its " "\x01" ".\n",
    /* 206 */ "Error: " "\x02" ", line " "\x03" ": an item longer than " "\x04" " characters begins \"" "\x01" "\".\n",
    /* 207 */ "Error: the tied parameter " "\x01" " names the parent " "\x02" ", which is not a parameter of the control file.\n",
    /* 208 */ "Error: the tied parameter " "\x01" " cannot keep a ratio to its parent " "\x02" ", whose value is 0.\n",
    /* 209 */ "\nCurrently, slm_dru does not support more than 25 template files.\nPlease modify and recompile the code to accomodate the unusually large number of template files.\n\n",
    /* 210 */ "\nCurrently, the Toolbox does not support more than 25 instruction files.\nPlease recompile the code to accomodate the unusually large number of instruction files.\n\n",
    /* 211 */ "\n" "\x02" " is not a valid PEST template file.\n\n",
    /* 212 */ "Error: the template file " "\x02" " holds the parameter space " "\x01" ", which names no parameter of the control file.\n",
    /* 213 */ "Error: the instruction file " "\x02" ", line " "\x03" ": " "\x01" ".\n",
    /* 214 */ "Semi-fixed observations are currently not supported with the calibration toolbox.\nModify the instruction file(s) accordingly and rerun the toolbox.\n  (File: " "\x02" ", line " "\x03" ")\n",
    /* 215 */ "Error: reading the model output file " "\x02" ": " "\x01" " (instruction line " "\x03" ").\n",
    /* 216 */ "\n\nError opening the restart file.\nPossibly previous run was not halted prematurely.\n\n",
    /* 217 */ "Error: the restart file " "\x02" " does not fit the control file: " "\x01" " (line " "\x03" ").\n",
    /* 218 */ "Error: the parameter group " "\x01" " gives " "\x02" ", which the toolbox does not know (INCTYP: relative, absolute or rel_to_max; FORCEN: always_2, always_3 or switch; DERMTHD: parabolic, outside_pts or best_fit).\n",
    /* 219 */ "Error: the parameter " "\x01" " names the group " "\x02" ", which is no parameter group of the control file.\n",
    /* 220 */ "Error: the first model run of the toolbox search failed; the search cannot start.\n",
    /* 221 */ "Error: the final model run of the toolbox search, with the best parameters, failed.\n",
    /* 222 */ "Error: the search input file " "\x02" ", line " "\x03" ": expected " "\x01" ".\n",
    /* 223 */ "Error: every sample run of the toolbox search failed; no local search can start.\n",
    /* 224 */ "Error: the instruction file " "\x02" ", line " "\x03" ", reads the observation " "\x01" " a second time; every observation is read exactly once per model run.\n",
    /* 225 */ "Error: no instruction file reads the observation " "\x01" "; every observation is read exactly once per model run.\n",
};

const char* message_of(int code) {
  if (code >= 1 && code <= highest_message_code) return message_table[code - 1];
  if (code >= first_toolbox_code && code <= last_toolbox_code)
    return toolbox_table[code - first_toolbox_code];
  return nullptr;
}

}  // namespace

bool has_message(int code) { return message_of(code) != nullptr; }

void set_error(int code, std::string_view str1, std::string_view str2, int int1, int int2) {
  error_state& e = process.error_block;
  e.code = code;
  e.str1.assign_cut(str1);
  e.str2.assign_cut(str2);
  e.int1 = int1;
  e.int2 = int2;
}

bool is_warning_code(int code) {
  switch (code) {
    case 14: case 16: case 17: case 39: case 41: case 55: case 95: case 96:
      return true;
    default:
      return false;
  }
}

std::string message_text(int code) {
  const char* m = message_of(code);
  if (!m) return std::string();
  const error_state& e = process.error_block;
  std::string out;
  for (const char* p = m; *p; ++p) {
    switch (*p) {
      case '\x01': out += e.str1.view(); break;
      case '\x02': out += e.str2.view(); break;
      case '\x03': out += std::to_string(e.int1); break;
      case '\x04': out += std::to_string(e.int2); break;
      default: out.push_back(*p);
    }
  }
  return out;
}

void report_text(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  guarded_file* log = process.summary_log;
  if (log && log->fp) std::fwrite(text.data(), 1, text.size(), log->fp);
}

void report_card_not_available(std::string_view card, int line) {
  const std::string where = line > 0 ? " on line " + std::to_string(line) + " of the project file" : "";
  std::printf("Error: the %.*s card%s is not available in this version of NIVRA.\n", static_cast<int>(card.size()),
              card.data(), where.c_str());
  set_error(own_message_code);
  report_error();
}

void pause_on_termination() {
  if (!process.pause_flag) return;
  std::fprintf(stderr, "Program terminated.  Hit any key to continue.\n");
  (void)std::getchar();
}

void report_error() {
  error_state& e = process.error_block;
  if (e.code > 0) {
    report_text("\n");
    e.stop = 1;
    if (has_message(e.code)) {
      std::string text = message_text(e.code);
      if (!text.empty()) report_text(text);
      if (is_warning_code(e.code)) e.stop = 0;
    }
    std::fflush(stdout);
  }
  if (e.stop >= 1 && e.term) {
    std::printf("NIVRA Terminated.\n");
    pause_on_termination();
    return;
  }
  e.code = 0;
}

}  // namespace nivra
