// Times as the command line takes and shows them: seconds ("90", "12.5"),
// m:ss ("1:30", "1:30.25") or h:mm:ss ("1:02:03").
#pragma once

#include <optional>
#include <string>

namespace qvhost {

// The seconds `text` gives, or nothing when it is none of the forms above.
std::optional<double> ParseTime(const std::string &text);
// "m:ss" or "h:mm:ss", with the fraction to the millisecond when there is one.
std::string TimeText(double seconds);

} // namespace qvhost
