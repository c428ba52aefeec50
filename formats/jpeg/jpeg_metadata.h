#pragma once
// The metadata markers of a JPEG brought in step with the parameters before
// the image is written: the resolution resource, the IPTC records (only when
// they were changed, or there is no marker yet), one EXIF block built from the
// fields, and the current XMP packet in place of the one read with the file.
// Blocks too large for a marker segment are left out.
class TIOParamsVals;

void IERebuildJpegMarkers(TIOParamsVals& Params);
