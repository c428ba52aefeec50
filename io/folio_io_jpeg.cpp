// TFolioIO: the metadata markers of a JPEG, brought in step with the
// parameters before the image is written.
#include "formats/jpeg/jpeg_metadata.h"
#include "formats/jpeg/jpeg_resolution.h"
#include "foundations/jpeg_markers.h"
#include "io/folio_io.h"

void TFolioIO::UpdateJpegResolutionInfo() {
  TIEMarkerList* Markers = FParams->JpegMarkers.get();
  if (Markers) IEUpdateJpegResolutionResource(*Markers, FParams->DpiX, FParams->DpiY);
}

void TFolioIO::RebuildJpegMarkers() { IERebuildJpegMarkers(*FParams); }
