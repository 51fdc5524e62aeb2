// Pipe sections: the flow area, wetted perimeter and top width of a
// circular pipe, an arch or a box at a water depth, and the critical and
// normal depths of a discharge. Lengths in m, discharges in m3/s.
#pragma once

namespace nivra {

inline constexpr double gravity = 9.81;  // m/s2

struct pipe_section_props {
  double top_width = 0.0;  // m
  double wet_per = 0.0;    // m
  double area = 0.0;       // m2
};

// The section of type `type` (pipe_section::) of diameter (or rise) D and
// width W at water depth `depth`. At D and above the pipe is full: its top
// width is 0.
pipe_section_props pipe_section_geometry(double diameter, double depth, double width, int type);

// Flow area of a circular pipe or a box at `depth` (below the crown).
double pipe_flow_area(int type, double diameter, double width, double depth);

enum class pipe_depth_status {
  ok,
  not_converged,      // the iteration did not settle
  arch_unsupported,   // arches have no critical or normal depth
};

struct pipe_depth {
  pipe_depth_status status = pipe_depth_status::ok;
  double depth = 0.0;     // m
  double per_flow = 0.0;  // change of the depth with the flow, m per m3/s (0 where the depth is pinned)
};

// Critical depth of `flow` (its magnitude) in the section: q^2 / g = y^3 for
// a box, Newton on A sqrt(A / T) = Q / sqrt(g) for a circular pipe (at most
// 0.001 m below the crown). Prints the lines of a failure.
pipe_depth superlink_crit_calc(int type, double diameter, double width, double flow);

// True when the critical depth of `flow` (its magnitude) in a circular pipe
// lies clearly below `depth` (between the invert and 0.001 m under the
// crown): the critical flow at that depth, A sqrt(g A / T), exceeds the
// flow by more than a part in 1e9. False when it does not, and for other
// sections: then the critical depth has to be found to tell.
bool critical_depth_below(int type, double diameter, double flow, double depth);

// Normal depth of `flow` (its magnitude) by Manning's equation in a pipe of
// roughness n and bed slope `slope` (its magnitude); the diameter when the
// pipe cannot carry the flow below its crown or the bed is flat. Prints the
// lines of a failure.
pipe_depth superlink_norm_calc(int type, double diameter, double width, double manning_n, double flow,
                               double slope);

}  // namespace nivra
