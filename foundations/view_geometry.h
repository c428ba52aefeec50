#pragma once
// Free helpers of the views, vector objects, dialogs and writers: rectangle
// and point tests, the 45-degree snap of a dragged line, the file size query,
// the drop-shadow strips and soft shadow painted around images, two
// decorative backgrounds and the checked stream write of the file writers.
// Rectangles are inclusive.  (Window and clipboard lookups are with the
// views, in views/window_lookup.h.)
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TBitmap;
class TCanvas;
class TIEBitmap;
class TStream;

// The shape of one image pixel on paper, its height over its width: DpiX /
// DpiY (2.08 for a 204 x 98 DPI fax page); 1 when either resolution is 0 or
// less (unknown).
double IEPixelAspect(int32_t DpiX, int32_t DpiY);

bool IEPointInRect(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
// The two corners are put in order first.
bool IEPointInRectUnordered(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Touching edges and corners count as intersecting.
bool IERectIntersects(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Left, int32_t Top,
                      int32_t Right, int32_t Bottom);
// 2 when (X1, Y1)-(X2, Y2) lies inside the first rectangle, 1 when it
// crosses its border, 0 when it lies outside or spans it completely.
int32_t IERectContainment(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t X1,
                          int32_t Y1, int32_t X2, int32_t Y2);
// Moves (X, Y) so that the line from (X0, Y0) becomes vertical, horizontal
// or diagonal, whichever it is close to (30 pixels of slack).
void IESnapLine(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y);

// Size in bytes of an existing file; -1 when it cannot be opened.
int64_t IEGetFileSize(const std::string& FileName);

// Writes Count bytes; a short write sets Error (which is never cleared here),
// so one flag reports any failed field at the end.
void IEStreamWriteChecked(TStream* Stream, bool& Error, const void* Buffer, int64_t Count);

// Shadow strip to the right of an object (X1..X2 is the strip, w = X2 - X1 + 1):
// Style 1 fills (X1, Y1 + w, X2, Y2 + 1) with the canvas brush; 2 darkens the
// pixels with a falling exponential per column; 3 paints a gray gradient.
// Pixels inside the 24-bit Bitmap are changed in its rows, the others
// through the canvas.
void IEDrawRightShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                       int32_t Y2, int32_t Style, void* Reserved = nullptr);
// The twin below an object, rows and columns exchanged.
void IEDrawBottomShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                        int32_t Y2, int32_t Style, void* Reserved = nullptr);
// Darkens a 5-pixel blurred band around [Left, Right) x [Top, Bottom) of a
// 24-bit platform bitmap.
void IEDrawSoftShadow(TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                      void* Reserved = nullptr);
// Count samples of a Gaussian over -1..1 scaled so the largest is High and
// zero is Low.
void IEGaussianRamp(int32_t Count, double Low, double High, std::vector<double>& Values,
                    double Sigma);
// Size Bitmap to Width x Height, make it 24-bit and paint gray stripes or a
// brushed-metal texture.
void IEPaintStripedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height);
void IEPaintBrushedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height);

// The Gaussian blur of a rectangle of an 8-bit plane that the soft shadow
// uses; the processing layer installs its own at start-up (when empty a
// plain separable Gaussian is used).
extern std::function<void(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                          double Radius)>
    IEBlur8BitHook;
