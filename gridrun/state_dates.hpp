// States saved during a run, at the end of chosen steps: the steps are named
// by their dates ("2020-06-30T23:00", "2020-06-30T23", "2020-06-30 23:00" or
// "2020-06-30" for hour 0), and each state file's name carries its step's
// date ("end-2020.state" -> "end-2020-2020-06-30T23.state").
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "calendar.hpp"

namespace hydro {

// Reads one date; false when the text is not one of the forms above.
bool parse_step_date(const std::string& text, StepDate& date);

// The steps (from 0, ascending, each once) dated as listed. A text that is
// not a date, or a date no step of the run has, is refused with InputError
// naming `source` and the run's first and last dates.
std::vector<std::size_t> steps_at_dates(const std::vector<std::string>& dates, const StepCalendar& calendar,
                                        const std::string& source);

// The file of the state after a step: the date before the extension of
// `base` ("state" when `base` is empty: "state-2020-06-30T23.state").
std::string dated_state_path(const std::string& base, const StepDate& date);

}  // namespace hydro
