// Finding the Params section of a launcher file without reading the archives in front of it.
#pragma once

#include <cstdint>
#include <cstdio>

namespace ferrolan::tail {

/// Positions `stream`, opened on a launcher file at its first byte, just past the first Params
/// marker and returns true; when the file has no Params marker, logs "Could not find marker:
/// Params\n" and returns false.
///
/// A plain search reads the whole file, and with a runtime on board that is over a hundred
/// megabytes on every start, most of a run-as-installed start's own time. The format binds
/// the packager to keep the marker out of everything before the place it puts it, which is
/// after the last tail entry; so the search may begin there. This function finds the tail
/// marker, reads the eleven fields and steps over the entries they announce (five, one more
/// with a "JRE Version", two more with an "App Version") by their declared lengths, reading
/// only their few header bytes, and searches on from the end of the last one. Anything
/// unexpected on the way (a missing tail marker, a field beyond its limit, an entry header
/// that is not exactly a type 0, 1 or 2 with a plain decimal length) or no marker after the
/// entries sends it back to the first byte for the full search, so a file outside that rule
/// still gets the answer of a full search. Both platforms behave the same; only the C
/// runtime's 64-bit seek differs.
bool LocateParamsMarker(std::FILE* stream);

/// The same search without the failure message, for a reader that must know where the
/// payload's entries end: the offset of the first byte of the Params marker in the file that
/// `stream` (at its first byte) is opened on, or -1 when there is none. The stream is left
/// just past the marker, or at its end.
std::int64_t ParamsMarkerOffset(std::FILE* stream);

}  // namespace ferrolan::tail
