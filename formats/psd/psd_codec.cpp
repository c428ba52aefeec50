#include "formats/psd/psd_codec.h"

#include "io/format_registry.h"

void IEReadPSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly) {
  PsdReadStream(Stream, ParamsOnly ? nullptr : Bitmap, Params, Progress, false, nullptr);
}

void IEWritePSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  PsdWriteStream(Stream, Params, Progress, Bitmap, nullptr);
}

void IERegisterPsdCodec() {
  TIEFileFormatInfo* row = IEFindFormatById(ioPSD);
  if (!row) return;
  row->ReadProc = IEReadPSDStream;
  row->WriteProc = IEWritePSDStream;
  row->ProbeProc = [](TStream* Stream, TIEFileFormat) { return IETryPSD(Stream); };
}
