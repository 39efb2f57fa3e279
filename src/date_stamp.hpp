// The date stamp: the moment thirty days after the run, as decimal
// milliseconds since 1 January 1970 UTC. The stamp is made from whole
// seconds, so its last three digits are always "000".
#pragma once

#include <cstdint>
#include <string>

namespace corvane {

inline constexpr std::int64_t stampOffsetSeconds = 30 * 24 * 60 * 60;

// Formats the stamp for a given clock reading, so that tests can pin it.
// The arithmetic is 64-bit: readings past 2038 stay right.
std::string formatDateStamp(std::int64_t secondsSinceEpoch);

// Reads the system clock once and formats the stamp for that reading.
std::string makeDateStamp();

} // namespace corvane
