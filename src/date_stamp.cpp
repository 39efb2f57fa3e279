// Makes the date stamp from the system's calendar clock. The clock is read
// through the C library's time() so that the time zone plays no part and
// tools that set a process's clock through the C library keep working.
#include "date_stamp.hpp"

#include <ctime>

namespace corvane {

std::string formatDateStamp(std::int64_t secondsSinceEpoch) {
    return std::to_string(secondsSinceEpoch + stampOffsetSeconds) + "000";
}

std::string makeDateStamp() {
    return formatDateStamp(static_cast<std::int64_t>(std::time(nullptr)));
}

} // namespace corvane
