// Hand-written channel input files and a record of the channel component
// read from them, with what the reader printed.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "channel/channel_input.h"
#include "channel/channel_state.h"
#include "core/guarded_file.h"
#include "core/process.h"
#include "surface/lake_state.h"
#include "support/test_support.h"

namespace nivra::testing {

// The header and the five global cards of a network of `links` links of
// up to `maxnodes` node points, then the rest of the file.
inline std::string chan_file(int links, int maxnodes, const std::string& rest) {
  return "NIVRA_CHAN\nALPHA 1.0\nBETA 1.0\nTHETA 0.6\nLINKS " + std::to_string(links) + "\nMAXNODES " +
         std::to_string(maxnodes) + "\n" + rest;
}

// A trapezoidal link of `nodes` node points 10 m apart whose bed falls by
// 1 m per point from `top`; its cross-section at node point 1.
inline std::string trapezoid_link(int link, int nodes, double top = 100.0, const std::string& extra = "") {
  std::string s = "LINK " + std::to_string(link) + "\nTRAPEZOID\nNODES " + std::to_string(nodes) +
                  "\nDX 10.0\nMANNINGS_N 0.03\n" + extra;
  for (int k = 1; k <= nodes; ++k)
    s += "NODE " + std::to_string(k) + "\nELEV " + std::to_string(top - (k - 1)) + "\n";
  return s + "NODE 1\nXSEC\nBOTTOM_WIDTH 2.0\nSIDE_SLOPE 1.5\nBANKFULL_DEPTH 1.0\n";
}

// A chain of links: link l flows into link l + 1, the last is the outlet.
inline std::string chain_connects(int links) {
  std::string s;
  for (int l = 1; l <= links; ++l)
    s += "CONNECT " + std::to_string(l) + " " + std::to_string(l < links ? l + 1 : 0) + " " +
         (l > 1 ? "1 " + std::to_string(l - 1) : "0") + "\n";
  return s;
}

// One straight link of `nodes` computational nodes `dx` apart whose bed
// falls at `slope`, a trapezoid (bottom width b, side slope z) of Manning's
// n; a network of that one link.
inline std::string straight_link(int nodes, double dx, double slope, double b, double z, double n,
                                 double bankfull = 5.0) {
  char head[200];
  std::snprintf(head, sizeof head, "LINK 1\nTRAPEZOID\nNODES %d\nDX %.17g\nMANNINGS_N %.17g\n", nodes + 1, dx, n);
  std::string s = head;
  for (int k = 1; k <= nodes + 1; ++k) {
    char node[100];
    std::snprintf(node, sizeof node, "NODE %d\nELEV %.17g\n", k, 100.0 - slope * dx * (k - 1));
    s += node;
  }
  char xsec[200];
  std::snprintf(xsec, sizeof xsec, "NODE 1\nXSEC\nBOTTOM_WIDTH %.17g\nSIDE_SLOPE %.17g\nBANKFULL_DEPTH %.17g\n", b, z,
                bankfull);
  return chan_file(1, nodes + 1, "CONNECT 1 0 0\n" + s + xsec);
}

// A channel input file read into a fresh record of the channel (what the
// reader prints is dropped); null when it does not read.
inline std::unique_ptr<channel_state> read_network(const std::string& text, lake_state& lakes) {
  write_file("net.cif", text);
  guarded_file f;
  if (!open_guarded_file(f, "net.cif", "r")) return nullptr;
  auto net = std::make_unique<channel_state>();
  chan_read_options options;
  chan_file_contents contents;
  ::testing::internal::CaptureStdout();
  const bool ok = read_chan_input(*net, lakes, f, options, contents);
  ::testing::internal::GetCapturedStdout();
  if (!ok) return nullptr;
  return net;
}

// The water of every node of the network, m3.
inline double network_volume(const channel_state& ch) {
  double v = 0.0;
  for (int l = 1; l <= ch.num_stream_links; ++l)
    for (int k = 1; k <= ch.nx[l]; ++k) v += ch.area(k, l) * ch.link_dx[l];
  return v;
}

class channel_file_test : public process_test {
 protected:
  // Writes the file and reads it into ch; keeps what was printed.
  bool read(const std::string& text, const std::string& name = "net.cif") {
    write_file(name, text);
    guarded_file f;
    EXPECT_TRUE(open_guarded_file(f, name, "r"));
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const bool ok = read_chan_input(ch, lakes, f, options, contents);
    out = ::testing::internal::GetCapturedStdout();
    err = ::testing::internal::GetCapturedStderr();
    return ok;
  }
  bool stopped() const { return process.error_block.stop != 0; }

  channel_state ch;
  lake_state lakes;
  chan_file_contents contents;
  chan_read_options options;
  std::string out, err;
};

}  // namespace nivra::testing
