// A small V-catchment with an erodible channel for the whole runs with
// soil erosion: the grid, the stream cells, the channel file, the
// sediment classes and the project, written into the working directory.
#pragma once

#include <cmath>
#include <sstream>
#include <string>

#include "support/test_support.h"

namespace nivra::testing {

// A V-catchment of 16 rows and 9 columns of 20 m cells: two hillslopes
// falling at `hillslope` toward a channel down column 5. The channel's
// upper link (rows 1 to 8) falls at 2 %, its lower link (rows 9 to 16) at
// `lower_slope`; both erodible, a sand layer of 0.2 m under a bed 2 m wide. With
// `culvert` a round culvert of that diameter (m), 10 m long, joins the two
// (a structure link 2; the lower link is then link 3) and the lower link
// starts 0.4 m below the end of the upper one.
struct vcatchment {
  double hillslope = 0.08;
  double rain = 40.0;  // mm/h for the first half hour of an hour
  double bankfull = 1.0;  // the channel's banks above its bed, m
  double levee = 0.0;     // the banks above the ground of the channel's cells, m
  double lower_slope = 0.001;  // the lower link's bed slope
  bool backwater = false;  // both links carry a BACKWATER record
  double step = 5.0;       // TIMESTEP, s
  int erosion = 1;     // the SOIL_EROSION value
  double culvert = 0.0;  // diameter of the culvert between the links, m (0: none)
  double sand_mm = 0.4;  // the sand class's diameter, mm
  std::string extra;   // more project cards

  static std::string header() {
    return "north: 1320.0\nsouth: 1000.0\neast: 2180.0\nwest: 2000.0\nrows: 16\ncols: 9\n";
  }
  // The lower link's number.
  int lower() const { return culvert > 0.0 ? 3 : 2; }
  // Bed elevation of point k (1..9) of the upper (l 1) or the lower link.
  double point(int l, int k) const {
    const double top = 20.0;
    const double end1 = top - 0.02 * 20.0 * 8 - (culvert > 0.0 ? 0.4 : 0.0);
    return l == 1 ? top - 0.02 * 20.0 * (k - 1) : end1 - lower_slope * 20.0 * (k - 1);
  }
  double node_bed(int row) const {
    const int l = row <= 8 ? 1 : 2, k = row <= 8 ? row : row - 8;
    return 0.5 * (point(l, k) + point(l, k + 1));
  }
  void write() const {
    std::ostringstream mask, ele, ids, gst, cif, prj;
    mask << header();
    ele << header();
    ids << header();
    for (int i = 1; i <= 16; ++i) {
      for (int j = 1; j <= 9; ++j) {
        mask << "1 ";
        ids << "1 ";
        ele << node_bed(i) + bankfull - levee + hillslope * 20.0 * std::abs(j - 5) << " ";
      }
      mask << "\n";
      ids << "\n";
      ele << "\n";
    }
    write_file("v.msk", mask.str());
    write_file("v.ele", ele.str());
    write_file("v.idx", ids.str());
    gst << "GRIDSTREAMFILE\nSTREAMCELLS 16\n";
    for (int i = 1; i <= 16; ++i)
      gst << "CELLIJ " << i << " 5\nNUMNODES 1\nLINKNODE " << (i <= 8 ? 1 : lower()) << " " << (i <= 8 ? i : i - 8)
          << " 1.0\n";
    write_file("v.gst", gst.str());
    cif << "NIVRA_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 1.0\nLINKS " << lower() << "\nMAXNODES 9\n";
    if (culvert > 0.0)
      cif << "CONNECT 1 2 0\nCONNECT 2 3 1 1\nCONNECT 3 0 1 2\n";
    else
      cif << "CONNECT 1 2 0\nCONNECT 2 0 1 1\n";
    for (int l = 1; l <= 2; ++l) {
      if (l == 2 && culvert > 0.0)
        cif << "LINK 2\nSTRUCTURE\nNUMSTRUCTS 1\nSTRUCTTYPE round_culvert\nDIAMETER " << culvert
            << "\nLENGTH 10\nUPINVERT " << point(1, 9) << "\nDOWNINVERT " << point(2, 1)
            << "\nROUGH_COEFF 0.013\nINLET_DISCH_COEFF 0.8\nREV_FLOW_DISCH_COEFF 0.8\n";
      cif << "LINK " << (l == 1 ? 1 : lower()) << "\nTRAP_ERODE\n" << (backwater ? "BACKWATER\n" : "")
          << "NODES 9\nDX 20.0\nMANNINGS_N 0.035\n";
      for (int k = 1; k <= 9; ++k) cif << "NODE " << k << "\nELEV " << point(l, k) << "\n";
      cif << "NODE 1\nXSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.0\nBANKFULL_DEPTH " << bankfull << "\nMAX_EROSION 0.2\n";
    }
    write_file("v.cif", cif.str());
    auto padded = [](std::string text, std::size_t width) {
      text.resize(width, ' ');
      return text;
    };
    write_file("v.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP v.idx soil\nSEDIMENTS\nNUM_SED 3\nCLASS SG D FB FILE\n" +
                            padded("Clay", 40) + "2.65 0.002 0.0 clay.out\n" + padded("Silt", 40) +
                            "2.65 0.03 0.0 silt.out\n" + padded("Sand", 40) + "2.65 " +
                            std::to_string(sand_mm) + " 0.0 sand.out\n" +
                            "SOIL_EROSION_PROPS soil\nNUM_IDS 1\nNUM_SED 3\n" + padded("ID", 6) +
                            padded("DESCRIPTION", 80) + "VALUES\n" + padded("1", 6) + padded("Field", 80) +
                            "1.0e3 4e-5 1.0 0.0 0.8 0.2 0.4 0.4\n");
    prj << "NIVRAPROJECT\nWATERSHED_MASK v.msk\nELEVATION v.ele\nROWS 16\nCOLS 9\nGRIDSIZE 20.0\nOUTROW 16\n"
        << "OUTCOL 5\nOUTSLOPE 0.001\nMANNING_N 0.05\nOVERTYPE ADE\nCHAN_EXPLIC\nCHANNEL_INPUT v.cif\n"
        << "STREAM_CELL v.gst\nTOT_TIME 60\nTIMESTEP " << step << "\nSTART_DATE 2024 6 15\nSTART_TIME 12 0\nPRECIP_UNIF\n"
        << "RAIN_INTENSITY " << rain << "\nRAIN_DURATION 30\nHYD_FREQ 5.0\nSUMMARY v.sum\nOUTLET_HYDRO v.otl\n"
        << "MAPPING_TABLE v.cmt\nSOIL_EROSION " << erosion << "\nSAND_SIZE 0.0625\nSED_POROSITY 0.4\nOUTLET_SED_FLUX v.sed\n"
        << extra;
    write_file("v.prj", prj.str());
  }
};

// The V-catchment with a contaminant that sticks to the fine sediment (Kd
// `kd` L/kg): every cell's land surface holds 5 kg of it in a 1 cm mixing
// layer, the rain brings more at 10 g/m3, the cells' water carries it to
// the channel dissolved and on the clay and silt, and the channel carries
// both on to the outlet. v gives the storm, the banks and more cards.
inline void attached_vcatchment(const std::string& kd, vcatchment v = vcatchment()) {
  v.extra +=
      "OV_CON_TRANS\nSEDIMENT_CONTAM\nCHAN_CON_TRANS\nMIXING_LAYER_DEPTH 1.0\nGREEN_AMPT\nINIT_CHAN_CONC 0.0\n"
      "CONDUCTIVITY v.one\nCAPILLARY v.one\nPOROSITY v.por\nMOISTURE v.moi\n";
  v.write();
  auto padded = [](std::string text, std::size_t width) {
    text.resize(width, ' ');
    return text;
  };
  write_file("v.cmt", "NIVRA_INDEX_MAP_TABLES\nINDEX_MAP v.idx \"soil\"\nCONTAMINANT_TRANSPORT\nNUM_CONTAM 1\n"
                      "\"Atrazine\" \"soil\" \"atrazine.out\"\nPRECIP_CONC 10.0\nPARTITION " +
                          kd + "\nNUM_IDS 1\n" + padded("ID", 6) + padded("DESCRIPTION", 80) + "K\n" +
                          padded("1", 6) + padded("Field", 80) + "0.5 2.0 0 5000 0 0 0 0\n" +
                          "SEDIMENTS\nNUM_SED 3\nCLASS SG D FB FILE\n" + padded("Clay", 40) +
                          "2.65 0.002 0.0 clay.out\n" + padded("Silt", 40) + "2.65 0.03 0.0 silt.out\n" +
                          padded("Sand", 40) + "2.65 0.4 0.0 sand.out\n" +
                          "SOIL_EROSION_PROPS \"soil\"\nNUM_IDS 1\nNUM_SED 3\n" + padded("ID", 6) +
                          padded("DESCRIPTION", 80) + "VALUES\n" + padded("1", 6) + padded("Field", 80) +
                          "1.0e3 4e-5 1.0 0.0 0.8 0.2 0.4 0.4\n");
  auto map = [](const char* value) {
    std::string m = vcatchment::header();
    for (int i = 1; i <= 16; ++i) {
      for (int j = 1; j <= 9; ++j) m += std::string(value) + " ";
      m += "\n";
    }
    return m;
  };
  write_file("v.one", map("0.1"));
  write_file("v.por", map("0.45"));
  write_file("v.moi", map("0.2"));
}

}  // namespace nivra::testing
