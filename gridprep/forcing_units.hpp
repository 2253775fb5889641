// Units and dates of gridded forcing as CF NetCDF files carry them, turned
// into the model's: precipitation and potential evaporation in mm per time
// step, temperature in degrees Celsius, dates in whole seconds.
#pragma once

#include <cstdint>
#include <string>

#include "project_writer.hpp"

namespace gridprep {

enum class ForcingQuantity { precipitation, evapotranspiration, temperature };

// A CF time coordinate: "UNIT since DATE [TIME [ZONE]]" in one of the
// calendars that count real days (standard, gregorian, proleptic_gregorian).
struct TimeUnits {
    double seconds_per_unit = 1.0;
    // The reference date, in seconds since 1970-01-01 00:00 UTC counted in the
    // proleptic Gregorian calendar (a date before 15 October 1582 in the
    // standard calendar is a Julian one and is converted).
    int64_t reference = 0;
    bool mixed = true;  // standard/gregorian: no date before 15 October 1582
};

// Throws hydro::InputError naming `path` and `variable` for units other than
// seconds, minutes, hours or days since a date, an unreadable date, and any
// other calendar (by name: noleap, 360_day, julian, ...).
TimeUnits time_units_of(const std::string& path, const std::string& variable, const std::string& units,
                        const std::string& calendar);

// Seconds since 1970-01-01 00:00 of a time value; false when out of range.
bool seconds_of(const TimeUnits& u, double value, int64_t& seconds);

// The date and hour of an instant that lies on a whole hour; false for one
// that does not, or that the standard calendar does not count in Gregorian
// dates (before 15 October 1582).
bool date_hour_of(int64_t seconds, bool mixed, DateHour& d);

// "2001-02-03 04:00" (minutes and seconds shown when not zero).
std::string instant_text(int64_t seconds);

// How a value in a file's units becomes the model's:
//   precipitation, PET:  mm per forcing step = value x factor  (an amount per step)
//                                           = value x factor x step seconds  (a rate per second)
//   temperature:         degrees C = value x factor + offset
struct UnitConversion {
    double factor = 1.0;
    double offset = 0.0;
    bool per_second = false;  // a rate: multiplied by the step's seconds
};

// The conversion of `units` (UDUNITS forms such as "kg m-2 s-1", "mm/h",
// "mm day-1", "m", "kg m**-2", "K", "degC"); throws hydro::InputError naming
// the file and variable for units that are no amount or rate of water (or
// no temperature).
UnitConversion unit_conversion(const std::string& path, const std::string& variable, ForcingQuantity quantity,
                               const std::string& units);

}  // namespace gridprep
