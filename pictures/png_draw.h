#pragma once
// Drawing helpers of the PNG picture class: the in-memory image as a Qt
// image (colour table applied for 1-, 4- and 8-bit images).
#include <QImage>

class TChunkIHDR;

// The DIB of Header as a top-down image: Format_Mono (1 bit) or
// Format_Indexed8 (4 and 8 bits) with the colour table, Format_BGR888 for
// 24 bits. Null when the header holds no image.
QImage PngDibImage(const TChunkIHDR* Header);
