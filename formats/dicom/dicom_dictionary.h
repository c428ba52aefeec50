#pragma once
// The DICOM data elements this reader knows by their value representation.
//
// Implicit-VR files do not say what an element holds; the dictionary gives
// the representation of every element of the standard's registry of data
// elements, retired ones included, plus the file meta and directory
// elements.  Repeating groups (curves 50xx, overlays 60xx, variable pixel
// data 7Fxx) and element ranges such as (0028,04x0) answer for every member.
// Group length elements (gggg,0000) of the standard groups are "UL".  "xs"
// stands for an element whose representation must come from the file (US or
// SS, OB or OW, private elements and elements the dictionary does not hold);
// "!!" for the item and delimitation tags.
#include <cstdint>

// The two-character representation of (Group, Element): "xs" when unknown.
const char* DicomLookupVR(uint16_t Group, uint16_t Element);

// Number of entries: elements with a fixed tag plus ranged entries.
int32_t DicomDictionarySize();
