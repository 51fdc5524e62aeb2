// The project card table: every card word with its code, matching in any
// case, first-match for words listed twice, and every card that stores a
// value or a constant storing it in its field.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/tokens.h"
#include "model/card_table.h"
#include "model/model_test_support.h"

namespace nivra {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;
using testing::read_project_text;
using testing::upper;

class CardTable : public testing::process_test {};

// Every word of the project-file vocabulary and its card code, in the order
// of comparison (seven words appear twice).
const char* const vocabulary = R"(
    pav 180 metric 180 units 0 watershed_mask 104 mapping_table 9 st_mapping_table 379
    elevation 105 gridsize 1 overtype 98 rows 2 cols 3 tot_time 4 timestep 5 start_date 39
    start_time 40 outslope 6 outrow 7 outcol 8 latitude 22 longitude 23 gmt 24 qout_cfs 37
    quiet 38 manning_n 10 hyd_freq 11 map_freq 12 map_type 13 reten_depth 14
    rain_intensity 17 rain_duration 18 chan_preiss 19 chan_explic 20 diffusive_wave 20
    chan_mesh 264 max_courant_number 263 chan_drain 21 chan_backwater 179
    watershed_mask 104 elevation 105 initial_depth 106 storage_capacity 107
    interception_coeff 108 interception 109 roughness 110 ovr_flow_block 439
    snow_roughness 181 snow_darcy 182 snow_reynolds 183 snow_no_infiltrate 184
    long_term 25 strict_julian_date 82 overbank_flow 44 overbank_max_dv 45
    overland_backwater 53 non_ortho_channels 259 stream_cell 260 head_bound 46
    bound_depth 47 bound_ts 48 k_river 49 explic_backwater 51 explic_hotstart 52
    write_chan_hotstart 266 hotstart_is_depth 267 read_chan_hotstart 268
    first_order_chan_q 265 stream_loss 54 m_river 50 chan_decay_coef 232
    chan_disp_coef 233 init_chan_conc 234 hmet_surfaways 34 hmet_samson 35 hmet_guv 36
    hmet_ascii 58 hmet_ascii_pet 59 hmet_orog_gages 60 event_min_q 33 manning_n 10
    soil_moist_depth 41 top_layer_depth 42 mixing_layer_depth 43 et_calc_penman 31
    et_calc_deardorff 32 conductivity 111 contam_map 112 capillary 113 porosity 114
    moisture 115 pore_index 116 albedo 26 vheight 27 tcoeff 28 canopy 29 wilting_point 30
    residual_sat 117 lake 118 m_lake 121 lake_elev 119 lake_output 120 radar_intensity 122
    links 123 nodes 124 channel_input 125 optimize 83 optimize_sed 84 dis_profile 126
    wat_surf_profile 128 dis_profile_out 127 wat_surf_profile_out 129 precip_file 130
    precip_unif 16 discharge 131 depth 132 include_channel_depth 15 inf_depth 133
    surf_moist 134 rate_of_infil 135 dis_rain 136 gw_recharge_cum 137 gw_recharge_inc 138
    chan_depth 139 chan_sed_flux 140 chan_discharge 141 chan_stage 142 chan_velocity 143
    in_hyd_location 144 in_gwflux_location 146 in_celldepdis_location 148
    superlink_junc_location 287 superlink_node_location 288 superlink_junc_flow 289
    superlink_node_flow 290 in_theta_location 96 out_dep_location 227 out_con_location 228
    out_mass_location 229 chan_con_trans 230 chan_point_input 231 out_hyd_location 145
    out_gwflux_location 147 out_celldepdis_location 149 out_theta_location 97
    ov_con_trans 235 all_contam_output 236 soil_con_trans 245 soil_contam 245
    soil_static_conc 246 sediment_contam 247 ov_point_source 237 ov_con_map 238
    ov_disp_coef 240 ov_decay_coef 239 ov_mass_load 244 ov_uptake_rate 241
    kinetics_timestep_factor 242 soil_kinetics_timestep_factor 243 suppress_printing 159
    materials 162 fline 163 alpha 150 beta 151 theta 152 channel_gridsize 153
    channel_deltat 154 drain_time 155 q_min 156 n_links 157 max_nodes 158 lakes_mask 160
    lakes_elevation 161 section_table 164 retention 165 green_ampt 166 inf_redist 167
    no_cont_inf_redist 168 inf_layered_soil 55 soil_type_map 56 soil_layer_input_file 85
    inf_richards 86 richards_weight 87 richards_k_option 89 richards_c_option 90
    richards_upper_option 91 seasonal_rs 99 seasonal_rs_spring 100 seasonal_rs_fall 101
    seasonal_rs_summer_start 102 seasonal_rs_summer_end 103 richards_iter_max 92
    richards_dtheta_max 88 water_table 93 aquifer_bottom 94 aquifer_delta_z 95
    soil_erosion 61 adjust_channel_bed 62 soil_erodability 63 crop_management 64
    conservation_practice 65 sand_map 66 silt_map 67 in_sed_loc 68 vol_sed_susp 69
    max_sed_flux 70 net_sed_volume 71 adjust_elev 81 outlet_sed_flux 72 outlet_sed_tss 73
    out_tss_loc 74 out_sed_loc 75 sand_size 76 silt_size 77 clay_size 78 water_temp 79
    sed_porosity 80 area_reduction 169 unif_area_reduction 170 rain_inv_distance 171
    rain_thiessen 172 radar_mm 173 summary 174 outlet_hydro 175 sig_outlet_hydro 176
    pav_hydro 177 cell_hydro 178 gw_simulation 185 gw_assign_theta 186 gw_lsor_dir 187
    gw_unif_porosity 197 gw_porosity_map 196 gw_unif_hycond 199 gw_hycond_map 198
    gw_timestep 188 gw_lsor_con 189 single_unsat_sat 190 gw_leakage_rate 191
    gw_relax_coeff 192 gw_fluxboundtable 193 gw_flux_boundtable 193 gw_boundfile 194
    gw_output 195 gw_well_level 200 out_well_location 201 overland_depths 202
    overland_depth_location 203 overland_wse 204 overland_wse_location 205 cfgi 206
    cfgi_index 207 cfgi_k 209 gtfsm 208 zem 210 mola 211 zem_event_num 212 mola_first 213
    moist_to_mola 214 ksat_to_mola 215 rough_to_mola 216 poros_to_mola 217
    erosivity_to_mola 218 crop_fact_to_mola 219 net_erosion_to_mola 220
    moist_from_mola 221 ksat_from_mola 222 rough_from_mola 223 erosivity_from_mola 224
    crop_fact_from_mola 225 et_demand_from_mola 226 sacramento 275 sacramento_pars 275
    topo_index 276 conceptual_gw 277 topo_index_cgs 278 storm_sewer 279
    superlink_c_opt 281 high_head_release 282 superlink_drainmod 283 xwindows 248
    xrain 249 xgwrecharge 250 xdepth 251 xinfdep 252 xsurf 258 x_freq 253 xchan 254
    xwin_width 255 xwin_height 256 xbig 257 dike_map 261 embankment 261 lowspot_file 262
    overland_lake_map 273 overland_lake_file 274 pause 291 flush_buffer 292 flood_grid 293
    flood_stream 294 ov_boundary 295 time_series_file 296 use_wells 297
    elev_series_file 298 lake_pump 299 quib_base_grid 301 quib_base_stream 302
    quib_file 300 quib_compression 303 quib_datasetgroup 304 stream_info 305 zv_input 306
    nutrients 307 aq_env 308 ov_init_no2 309 ov_init_no3 310 ov_init_nh4 311
    ov_init_on 312 ov_init_op 313 ov_init_dp 314 ov_init_alg 315 ov_init_cbod 316
    ov_init_do 317 ov_doc_init 318 ov_doc_foc 319 ov_dispersion 320 nwsrfs_snow 405
    eb_snow 406 nwsrfs_retention 407 tirus_waves 408 snap_retention 409 route_lat_snow 410
    nwsrfs_elev_snow 411 orogvar_hmet 412 nwsrfs_mf_max 413 nwsrfs_mf_min 414
    nwsrfs_fr_use 415 nwsrfs_scf 416 hmet_elev_gage 417 hmet_xcoord_gage 418
    hmet_ycoord_gage 419 hmet_lapse_rate 420 nwsrfs_tipm 421 nwsrfs_nmf 422 nwsrfs_fua 423
    nwsrfs_plwhc 424 snow_temp_base 425 yes_dalr_flag 426 st_init_no2 321 st_init_no3 322
    st_init_nh4 323 st_init_on 324 st_init_op 325 st_init_dp 326 st_init_alg 327
    st_init_cbod 328 st_init_do 329 sourcefile 330 out_ov_no2 331 out_ov_no3 332
    out_ov_nh4 333 out_ov_on 334 out_ov_op 335 out_ov_dp 336 out_ov_alg 337
    out_ov_cbod 338 out_ov_do 339 out_st_no2 340 out_st_no3 341 out_st_nh4 342
    out_st_on 343 out_st_op 344 out_st_dp 345 out_st_alg 346 out_st_cbod 347 out_st_do 348
    out_hyd_no2 349 out_hyd_no3 350 out_hyd_nh4 351 out_hyd_on 352 out_hyd_op 353
    out_hyd_dp 354 out_hyd_alg 355 out_hyd_cbod 356 out_hyd_do 357 ov_init_depth 270
    write_ov_hotstart 269 read_ov_hotstart 270 write_sm_hotstart 272 read_sm_hotstart 271
    ntr_sum 359 replace_params 360 replace_vals 361 replace_line 362 replace_folder 363
    output_folder 363 project_folder 380 project_path 380 ov_pump 364 init_elev_head 365
    end_time 366 fyssi 367 daily_output 368 super_quiet 369 zv_fluxes 370
    zv_nodes_to_segs 371 zv_segment_map 372 zv_segment_fluxes 373 storm_sewer 279
    superlink_c_opt 281 high_head_release 282 superlink_drainmod 283 grid_pipe 280
    pipe_flow 284 pipe_head 285 pipe_tile 286 num_threads 374 st_time_step 375
    calib_comp_data 376 calib_obs_data 377 calib_obj_func 378 analyzers 381 total_ov_n 382
    total_ov_p 383 total_chan_n 384 total_chan_kn 385 total_chan_p 386 chan_ph 387
    soils_nsm_p 388 soils_nsm_n 390 soils_nsm_c 389 no2_koc 391 no3_koc 392 nh4_koc 393
    on_koc 394 op_koc 395 dp_koc 396 no2_km 397 no3_km 398 nh4_km 399 on_km 400 op_km 401
    dp_km 402 init_swe_depth 403 snow_swe_file 404 snow_temp 428 simulation_input 180
    xybdyoutput_pts 429 xybdyoutput_mask 430 xybdyoutput_ovdep 431 xybdyoutput_gwhead 432
    xybdyoutput_stflow 433 xybdyinput_ovdep 434 xybdyinput_gwhead 435
    xybdyinput_stflow 436 xybdyinput_sttimeseries 437 xybdyinput_gwheadinterp 438
)";

std::vector<std::pair<std::string, int>> vocabulary_pairs() {
  std::vector<std::pair<std::string, int>> out;
  std::istringstream in(vocabulary);
  std::string word;
  int code;
  while (in >> word >> code) out.emplace_back(word, code);
  return out;
}

TEST_F(CardTable, EveryWordGivesItsCodeInAnyCaseAndLeavesTheValues) {
  auto pairs = vocabulary_pairs();
  auto table = project_card_table();
  ASSERT_EQ(pairs.size(), table.size());
  std::set<std::string> words;
  std::set<int> codes;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const auto& [word, code] = pairs[i];
    EXPECT_EQ(table[i].word, word) << "entry " << i;
    EXPECT_EQ(table[i].code, code) << word;
    words.insert(word);
    codes.insert(code);
    for (std::string written : {word, upper(word), upper(word.substr(0, 1)) + word.substr(1)}) {
      card_line line(written + " \t value1, \"value 2\"");
      CaptureStdout();
      EXPECT_EQ(classify_project_card(line, 0), code) << written;
      EXPECT_EQ(GetCapturedStdout(), "") << written;
      EXPECT_EQ(line.rest(), "value1, \"value 2\"") << written;
    }
  }
  EXPECT_EQ(words.size(), 447u);
  EXPECT_EQ(codes.size(), 437u);
}

TEST_F(CardTable, AWordListedTwiceFindsItsFirstEntry) {
  auto table = project_card_table();
  int twice = 0;
  for (std::size_t i = 0; i < table.size(); ++i) {
    const card_entry* e = find_project_card(table[i].word);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->code, table[i].code);
    for (std::size_t j = 0; j < i; ++j)
      if (table[j].word == table[i].word) {
        EXPECT_EQ(e, &table[j]) << table[i].word;
        ++twice;
      }
  }
  EXPECT_EQ(twice, 7);
}

// Which cards may stand more than once in a project file: those that add
// to a list (time series, elevation series, XY boundary points), act on the
// lines after them (the replacement cards) or store nothing; a flag repeats
// harmlessly; every other card stores a value and stands once.
TEST_F(CardTable, EveryCardThatStoresAValueStandsOnce) {
  const std::set<std::string> free_words = {
      "time_series_file", "elev_series_file", "replace_params", "replace_vals", "replace_line",
      "xybdyinput_ovdep", "xybdyinput_gwhead", "xybdyinput_stflow", "xybdyinput_sttimeseries",
      "xybdyinput_gwheadinterp",
      // Stored nowhere: skipped words and numbers echoed or dropped.
      "pav", "metric", "simulation_input", "lake", "lake_elev", "radar_intensity", "lakes_mask", "lakes_elevation",
      "fline", "ntr_sum", "tirus_waves", "no_cont_inf_redist", "nodes", "units", "alpha", "beta", "theta",
      "channel_gridsize", "channel_deltat", "drain_time", "q_min", "n_links", "max_nodes", "nwsrfs_fua"};
  std::set<std::string> free_found;
  for (const card_entry& e : project_card_table()) {
    SCOPED_TRACE(std::string(e.word));
    const card_repeat rule = repeat_rule(e);
    if (rule == card_repeat::free) free_found.insert(std::string(e.word));
    EXPECT_EQ(rule == card_repeat::harmless, e.kind == card_kind::flag);
  }
  EXPECT_EQ(free_found, free_words);
}

// The cards of different codes that store into one field: the members of
// one enumeration and the several names of one file. Any other pair would
// let a later card silently undo an earlier one.
TEST_F(CardTable, TheCardsThatStoreIntoOneFieldAreTheMembersOfOneSetting) {
  const std::vector<std::vector<std::string>> groups = {
      {"hmet_surfaways", "hmet_samson", "hmet_guv", "hmet_ascii", "hmet_ascii_pet"},
      {"chan_preiss", "chan_explic", "diffusive_wave", "chan_mesh", "chan_drain", "chan_backwater"},
      {"green_ampt", "inf_redist", "inf_layered_soil", "inf_richards"},
      {"precip_file", "precip_unif"},
      {"rain_inv_distance", "rain_thiessen"},
      {"explic_backwater", "write_chan_hotstart"},
      {"explic_hotstart", "read_chan_hotstart"},
      {"xybdyoutput_pts", "xybdyoutput_mask"},
  };
  auto pair_of = [](std::string a, std::string b) { return a < b ? a + " " + b : b + " " + a; };
  std::set<std::string> expected, found;
  for (const auto& g : groups)
    for (const std::string& a : g)
      for (const std::string& b : g)
        if (find_project_card(a)->code != find_project_card(b)->code) expected.insert(pair_of(a, b));
  auto table = project_card_table();
  for (std::size_t i = 0; i < table.size(); ++i)
    for (std::size_t j = 0; j < i; ++j) {
      EXPECT_EQ(cards_collide(table[i], table[j]), cards_collide(table[j], table[i]));
      if (cards_collide(table[i], table[j])) found.insert(pair_of(std::string(table[i].word), std::string(table[j].word)));
    }
  EXPECT_EQ(found, expected);
}

TEST_F(CardTable, CommentsBlankLinesAndUnknownWords) {
  struct line_case {
    const char* text;
    int quiet;
    const char* warning;  // console output
  };
  const line_case cases[] = {
      {"", 0, ""},
      {" \t, ,", 0, ""},
      {"   # a comment", 0, ""},
      {"#MANNING_N 0.1", 0, ""},
      {"MANNING#N 0.1", 0, "Warning: unknown card found in the project file: manning#n\n"},
      {"Surface_Roughness 3", 0, "Warning: unknown card found in the project file: surface_roughness\n"},
      {"NIVRAPROJECT", 0, "Warning: unknown card found in the project file: nivraproject\n"},
      {"Surface_Roughness 3", 1, ""},
  };
  for (const line_case& c : cases) {
    card_line line(c.text);
    CaptureStdout();
    EXPECT_EQ(classify_project_card(line, c.quiet), skip_card_code) << c.text;
    EXPECT_EQ(GetCapturedStdout(), c.warning) << c.text;
  }
}

// Cards of every kind, each read from a project file of its own, and the
// fields it must change, written out by hand: a card wired to the wrong
// field, or storing the wrong constant, fails here. Every value differs
// from what the header alone leaves, and echoed values print their label.
std::string shown(int v) { return std::to_string(v); }
std::string shown(double v) {
  std::ostringstream o;
  o << v;
  return o.str();
}
std::string shown(const file_name_text& t) { return std::string(t.view()); }
template <class... T>
std::string fields(const T&... v) {
  std::string out;
  ((out += (out.empty() ? "" : " ") + shown(v)), ...);
  return out;
}

TEST_F(CardTable, CardsOfEveryKindSetTheirOwnFields) {
  struct card_case {
    const char* cards;  // after the header
    std::function<std::string(const project_state&)> changed;
    const char* expected;
    const char* echo = "";
  };
  const card_case cases[] = {
      // Flags: a switch, an enumeration, two constants, a constant of 2.
      {"QOUT_CFS", [](auto& p) { return fields(p.run_control.qout_cfs); }, "1"},
      {"GREEN_AMPT", [](auto& p) { return fields(p.run_control.infil_model); }, "1"},
      {"INF_RICHARDS", [](auto& p) { return fields(p.run_control.infil_model); }, "4"},
      {"CHAN_EXPLIC",
       [](auto& p) { return fields(p.run_control.chan_routing, p.project_options.diffusive_chan); }, "3 1"},
      {"CHAN_BACKWATER", [](auto& p) { return fields(p.run_control.chan_routing); }, "5"},
      {"INTERCEPTION",
       [](auto& p) {
         return fields(p.project_options.interception_coeff_given, p.project_options.storage_capacity_given);
       },
       "1 1"},
      {"PRECIP_UNIF\nRAIN_THIESSEN",
       [](auto& p) {
         return fields(p.rain_event.precip_source, p.rain_event.precip_unif_given, p.rain_event.rain_interp);
       },
       "0 1 1"},
      {"SOILS_NSM_C", [](auto& p) { return fields(p.project_options.soils_nsm_c); }, "2"},
      {"LONG_TERM", [](auto& p) { return fields(p.project_options.long_term); }, "1"},
      // Whole numbers, with and without constants and a label.
      {"ROWS 12", [](auto& p) { return fields(p.run_control.rows); }, "12"},
      {"COLS 9", [](auto& p) { return fields(p.run_control.cols); }, "9"},
      {"OUTCOL 4", [](auto& p) { return fields(p.run_control.outcol); }, "4"},
      {"TOT_TIME 90", [](auto& p) { return fields(p.run_control.tot_time); }, "90"},
      {"MAP_FREQ 30", [](auto& p) { return fields(p.run_control.map_freq); }, "30"},
      {"RAIN_DURATION 45", [](auto& p) { return fields(p.rain_event.rain_duration); }, "45"},
      {"FLUSH_BUFFER 5",
       [](auto& p) { return fields(p.project_options.flush_buffer, p.project_options.flush_buffer_on); }, "5 1"},
      {"SOIL_EROSION 12",
       [](auto& p) { return fields(p.project_options.soil_erosion, p.project_options.soil_erosion_on); }, "12 1"},
      // Reals.
      {"TIMESTEP 12.5", [](auto& p) { return fields(p.run_control.timestep); }, "12.5"},
      {"GRIDSIZE 25", [](auto& p) { return fields(p.run_control.gridsize); }, "25"},
      {"OUTSLOPE 0.002", [](auto& p) { return fields(p.run_control.outslope); }, "0.002"},
      {"HYD_FREQ 2.5", [](auto& p) { return fields(p.run_control.hyd_freq); }, "2.5"},
      {"GMT -7", [](auto& p) { return fields(p.run_control.gmt, p.run_control.gmt_given); }, "-7 1"},
      {"MANNING_N 0.035",
       [](auto& p) { return fields(p.project_options.manning_n, p.project_options.manning_n_given); }, "0.035 1"},
      {"RAIN_INTENSITY 20", [](auto& p) { return fields(p.rain_event.rain_intensity); }, "20"},
      {"RETENTION 2.5",
       [](auto& p) { return fields(p.project_options.retention, p.project_options.retention_given); }, "2.5 1"},
      {"SNOW_ROUGHNESS 0.3",
       [](auto& p) {
         return fields(p.project_options.snow_roughness, p.project_options.snow_roughness_given);
       },
       "0.3 1"},
      {"INIT_ELEV_HEAD 101.5",
       [](auto& p) {
         return fields(p.project_options.init_elev_head, p.project_options.init_elev_head_given);
       },
       "101.5 1"},
      {"ST_TIME_STEP 5", [](auto& p) { return fields(p.run_control.st_time_step); }, "5"},
      // File names, alone and with their flags.
      {"WATERSHED_MASK a.msk", [](auto& p) { return fields(p.project_options.watershed_mask); }, "a.msk"},
      {"ELEVATION a.ele", [](auto& p) { return fields(p.project_options.elevation); }, "a.ele"},
      {"ROUGHNESS r.map",
       [](auto& p) { return fields(p.project_options.roughness, p.project_options.roughness_given); }, "r.map 1"},
      {"PRECIP_FILE rain.gag",
       [](auto& p) {
         return fields(p.rain_event.precip_file, p.rain_event.precip_source, p.rain_event.precip_file_given);
       },
       "rain.gag 1 1"},
      {"EXPLIC_BACKWATER bw",
       [](auto& p) {
         return fields(p.project_options.chan_hotstart_write_file, p.project_options.explic_backwater_given);
       },
       "bw 1"},
      {"READ_OV_HOTSTART hot.asc",
       [](auto& p) {
         return fields(p.project_options.ov_hotstart_read_file, p.project_options.ov_hotstart_read_given);
       },
       "hot.asc 1"},
      {"HMET_OROG_GAGES o.txt",
       [](auto& p) {
         return fields(p.project_options.hmet_orog_gages, p.project_options.hmet_orog_gages_given,
                       p.project_options.orogvar_hmet);
       },
       "o.txt 1 1"},
      {"GW_FLUX_BOUNDTABLE gb.txt",
       [](auto& p) {
         return fields(p.project_options.gw_fluxboundtable, p.run_control.gw_fluxboundtable_given);
       },
       "gb.txt 1"},
      {"HMET_ASCII w.dat",
       [](auto& p) { return fields(p.project_options.hmet_file, p.project_options.hmet_ascii_given); }, "w.dat 1"},
      {"DIKE_MAP d.dik",
       [](auto& p) { return fields(p.project_options.dike_map, p.project_options.dike_map_given); }, "d.dik 1"},
      {"SUMMARY s.sum", [](auto& p) { return fields(p.project_options.summary); }, "s.sum"},
      {"PROJECT_FOLDER proj", [](auto& p) { return fields(p.project_options.project_folder); }, "proj"},
      // Optional values.
      {"AREA_REDUCTION ar.map",
       [](auto& p) {
         return fields(p.project_options.area_reduction, p.project_options.area_reduction_given);
       },
       "ar.map 1"},
      {"MOISTURE m.map",
       [](auto& p) { return fields(p.project_options.moisture, p.project_options.moisture_given); }, "m.map 1"},
      {"GW_BOUNDFILE gw.bnd",
       [](auto& p) { return fields(p.project_options.gw_boundfile, p.project_options.gw_boundfile_given); },
       "gw.bnd 1"},
      {"ZEM_EVENT_NUM 4",
       [](auto& p) { return fields(p.project_options.zem_event_num, p.project_options.zem_event_num_given); },
       "4 1"},
      {"RETEN_DEPTH ret.map",
       [](auto& p) { return fields(p.project_options.reten_depth, p.project_options.reten_depth_given); },
       "ret.map 1"},
      {"INIT_SWE_DEPTH 0.35",
       [](auto& p) { return fields(p.project_options.init_swe_mode, p.project_options.init_swe_depth); },
       "3 0.35"},
      // Words.
      {"OVERTYPE explicit", [](auto& p) { return fields(p.project_options.overtype); }, "1"},
      {"RICHARDS_K_OPTION arithmetic", [](auto& p) { return fields(p.project_options.richards_k_option); }, "1"},
      {"RICHARDS_C_OPTION brooks", [](auto& p) { return fields(p.project_options.richards_c_option); }, "1"},
      {"RICHARDS_UPPER_OPTION green",
       [](auto& p) { return fields(p.project_options.richards_upper_option); }, "2"},
      // Dates and times.
      {"START_DATE 2003 7 21",
       [](auto& p) {
         return fields(p.run_control.start_year, p.run_control.start_month, p.run_control.start_day);
       },
       "2003 7 21"},
      {"START_TIME 14 30",
       [](auto& p) { return fields(p.run_control.start_hour, p.run_control.start_minute); }, "14 30"},
      {"END_TIME 2003 7 23 6 15",
       [](auto& p) {
         const run_control& rc = p.run_control;
         return fields(rc.end_year, rc.end_month, rc.end_day, rc.end_hour, rc.end_minute);
       },
       "2003 7 23 6 15"},
      // Acted on at once, and the nutrient container.
      {"REPLACE_LINE 3", [](auto&) { return fields(process.replace_line); }, "2"},
      {"NUTRIENTS\nOV_INIT_NO3 0.5\nOUT_HYD_DO do.out",
       [](auto& p) {
         const nsm* n = p.project_options.nsm_model.get();
         if (!n) return std::string("none");
         return fields(p.project_options.nutrients, n->ov_init_mode[1], n->ov_init_value[1],
                       n->out_hyd_on[8], n->out_hyd_file[8]);
       },
       "1 3 0.5 1 do.out"},
      // Kept for the nutrient kinetics this version does not have: each
      // line says it changes nothing.
      {"NO3_KM 0.7\nDP_KOC 12.5",
       [](auto& p) {
         const nsm_partition_coeffs* c = p.project_options.partition_coeffs.get();
         return c ? fields(c->no3_km, c->dp_koc, c->no2_km) : std::string("none");
       },
       "0.7 12.5 0",
       "Warning: the NO3_KM card on line 2 of the project file has no effect in this version of NIVRA; it is "
       "ignored.\n"
       "Warning: the DP_KOC card on line 3 of the project file has no effect in this version of NIVRA; it is "
       "ignored.\n"},
      {"NUTRIENTS\nOV_DOC_INIT 2.0\nOV_DOC_FOC",
       [](auto& p) {
         const nsm* n = p.project_options.nsm_model.get();
         if (!n) return std::string("none");
         return fields(n->ov_init_mode[nsm_ov_doc_item], n->ov_init_value[nsm_ov_doc_item],
                       n->ov_init_mode[nsm_ov_doc_foc_item]);
       },
       "3 2 2",
       "Warning: the OV_DOC_INIT card on line 3 of the project file has no effect in this version of NIVRA; it is "
       "ignored.\n"
       "Warning: the OV_DOC_FOC card on line 4 of the project file has no effect in this version of NIVRA; it is "
       "ignored.\n"},
  };
  auto baseline = read_project_text("NIVRAPROJECT\n", 0, "base.prj");
  for (const card_case& c : cases) {
    SCOPED_TRACE(c.cards);
    reset_process_state();
    const std::string before = c.changed(*baseline);
    CaptureStdout();
    auto p = read_project_text(std::string("NIVRAPROJECT\n") + c.cards + "\n");
    EXPECT_EQ(GetCapturedStdout(), c.echo);
    EXPECT_EQ(c.changed(*p), c.expected);
    EXPECT_NE(before, c.expected);
    EXPECT_EQ(process.error_block.code, 0);
    EXPECT_EQ(process.error_block.stop, 0);
  }
}

}  // namespace
}  // namespace nivra
