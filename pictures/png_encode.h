#pragma once
// The row-filter choice of the PNG image-data encoder.
#include <cstdint>
#include <vector>

// Filters Raw (RowBytes bytes; Previous is the raw row above, zero for the
// first row of an image or pass) into Candidates[t] for each filter type t
// of Set other than None, copies Raw into Previous (which then serves as
// the None candidate) and answers the chosen type: the single type of a
// one-type set, else the type whose bytes most often repeat one of the two
// bytes before them (ties keep the lower type; no score above 0 gives None).
int ChooseRowFilter(const uint8_t* Raw, uint8_t* Previous, int64_t RowBytes, int32_t Distance, uint8_t Set,
                    std::vector<uint8_t> (&Candidates)[5]);
