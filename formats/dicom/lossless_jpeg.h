#pragma once
// Lossless JPEG (process 14, SOF3) as DICOM files carry it: Huffman-coded
// differences from one of the seven predictors, with restart intervals.
#include <cstdint>
#include <vector>

// Decodes the stream of Length bytes into Samples (component-interleaved,
// row after row, each value shifted back by the point transform).  The frame
// must be exactly Width x Height with Components components, all sampled 1:1;
// anything else, damaged data and a stream that ends early answer false.
// Precision receives the frame's sample precision.
bool LosslessJpegDecode(const uint8_t* Data, int64_t Length, int32_t Width, int32_t Height, int32_t Components,
                        std::vector<uint16_t>& Samples, int32_t& Precision);
