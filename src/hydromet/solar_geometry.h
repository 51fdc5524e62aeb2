// The position of the sun for a weather hour and how a tilted cell meets
// its direct beam. Angles are radians; the azimuth is measured from north,
// clockwise (east pi/2, south pi, west 3 pi/2); the hour is the local
// standard hour of the weather record, taken as solar time (a site on its
// time zone's meridian, without the equation of time).
#pragma once

#include "core/arrays.h"

namespace nivra {

// Day of the year of a date from the table of a year without 29 February
// (January 0, February 31, ..., December 334, plus the day); month 0 gives
// the day itself. Another month prints a message and gives 0.
int compute_day_of_year(int year, int month, int day);

// Hour angle of the sun: 15 degrees per hour from noon, exactly 0 within
// 0.01 h of noon. An hour outside 0..24 prints a message and gives 0.
double hour_angle(double hour);

// Declination of the sun on a day of the year (23.45 degrees times the sine
// of the season).
double solar_declination(int day_of_year);

// Azimuth of the sun from north, clockwise, for a latitude (degrees), hour
// angle h, declination d and altitude a (radians): afternoon suns (h > 0)
// lie west of the meridian.
double solar_azimuth(double latitude_deg, double h, double d, double altitude);

// The sun of one weather hour.
struct sun_position {
  int day_of_year = 0;
  double declination = 0.0;
  double hour_angle = 0.0;
  double altitude = 0.0;  // above the horizon, negative at night
  double azimuth = 0.0;
  double zenith = 0.0;    // pi/2 - altitude
};

// The sun at a latitude (degrees) on a date at a local hour.
sun_position sun_at(double latitude_deg, int year, int month, int day, double hour);
// The sun on a day of the year at a local hour.
sun_position sun_on_day(double latitude_deg, int day_of_year, double hour);

// The unit surface normal of every cell from its centred downhill slopes
// (sx toward the east, sy toward the north): fields 1..3 of normals[c] the
// x (east), y (north) and z components, field 4 the tangent of the steepest
// slope. A level cell has the normal (0, 0, 1).
void slope_normals(int ncells, const array1d<double>& sx, const array1d<double>& sy,
                   array2d<double>& normals);

// Cosine of the angle between a surface's normal (nx east, ny north, nz
// up) and the direction of the sun (x east, y north, z up), neither of
// them needing unit length: the cosine of the beam's incidence on the
// surface, negative when the sun lies behind it; 0 for a vector of no
// length. A plane falling by p toward the east and q toward the north has
// the normal (p, q, 1).
double incidence_cosine(double nx, double ny, double nz, double sun_x, double sun_y, double sun_z);

// Ratio of the direct beam on the cell's surface to the beam on level
// ground, cos(incidence) / cos(slope), for the unit sun vector (x east,
// y north, z up); 0 when the sun is below the horizon or behind the
// surface. Writes the incidence angle into field 5 of the cell's normal.
double slope_sun_factor(row_view<double> normal, double sun_x, double sun_y, double sun_z);

}  // namespace nivra
