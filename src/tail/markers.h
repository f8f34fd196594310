// The two fixed byte strings that delimit the payload appended to a launcher file: the tail
// marker before the wrapper tail and the Params marker before the dynamic properties. Their
// values are a contract with the packager, which takes them from here.
//
// The markers are assembled in memory on first use from masked byte constants. They must never
// stand as contiguous byte strings in the launcher's own image: the search for them starts at
// the first byte of the file, so a copy inside the image would be found before the real one.
#pragma once

#include <array>
#include <cstdint>

namespace ferrolan::tail {

inline constexpr int kTailMarkerLength = 128;
inline constexpr int kParamsMarkerLength = 64;

/// The 128-byte marker that precedes the wrapper tail's string fields.
const std::array<std::uint8_t, kTailMarkerLength>& TailMarker();

/// The 64-byte marker that precedes the Params section (count and name/value pairs).
const std::array<std::uint8_t, kParamsMarkerLength>& ParamsMarker();

}  // namespace ferrolan::tail
