#pragma once
// The DICOM data elements this reader knows by their value representation.
//
// Implicit-VR files do not say what an element holds; the dictionary gives
// the representation of the standard elements a page viewer meets (file
// meta information, identification, patient, study and series, image
// pixel description, palettes and the pixel data).  "xs" stands for an
// element whose representation must come from the file (US or SS, OB or
// OW, and elements the dictionary does not hold); "!!" for the item and
// delimitation tags.
#include <cstdint>

// The two-character representation of (Group, Element): "xs" when unknown.
const char* DicomLookupVR(uint16_t Group, uint16_t Element);

// Number of entries (sorted by group, then element).
int32_t DicomDictionarySize();
