#include "host/common/time_text.h"

#include <cmath>
#include <cstdio>
#include <regex>

namespace qvhost {

std::optional<double> ParseTime(const std::string &text)
{
    // Hours and minutes are optional; seconds below a minute's place are two digits.
    static const std::regex form("(?:(?:([0-9]+):)?([0-9]+):)?([0-9]+)(\\.[0-9]+)?");
    std::smatch m;
    if (!std::regex_match(text, m, form))
        return std::nullopt;
    const bool colons = m[2].matched;
    if (colons &&
        (m[3].length() != 2 || std::stoi(m[3]) > 59 || (m[1].matched && (m[2].length() != 2 || std::stoi(m[2]) > 59))))
        return std::nullopt;
    const double seconds = std::stod(m[3].str() + (m[4].matched ? m[4].str() : ""));
    const double minutes = colons ? std::stod(m[2]) : 0.0;
    const double hours = m[1].matched ? std::stod(m[1]) : 0.0;
    return (hours * 60.0 + minutes) * 60.0 + seconds;
}

std::string TimeText(double seconds)
{
    const long long ms = std::llround(seconds * 1000.0);
    const long long s = ms / 1000, h = s / 3600, m = s / 60 % 60;
    char text[48];
    if (h > 0)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", h, m, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", m, s % 60);
    std::string out = text;
    if (ms % 1000 != 0) {
        std::snprintf(text, sizeof text, ".%03lld", ms % 1000);
        out += std::string(text).substr(0, std::string(text).find_last_not_of('0') + 1);
    }
    return out;
}

} // namespace qvhost
