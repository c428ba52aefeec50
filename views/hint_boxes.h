#pragma once
// The two small text-box painters of on-screen hints.
#include <cstdint>
#include <memory>
#include <string>

class TBitmap;
class TBrush;
class TCanvas;
class TFont;

// A hint box: the canvas rectangle under the box is kept in Saved (24-bit)
// so the caller can restore it; X and Y are moved to keep the box inside the
// canvas.
void IEDrawTextBoxSavingBackground(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Text,
                                   TFont* Font, TBrush* Brush, std::unique_ptr<TBitmap>& Saved,
                                   int32_t CanvasWidth, int32_t CanvasHeight, int32_t TopLeftColor,
                                   int32_t BottomRightColor);
// A translucent light-yellow hint box; WidthText keeps its width steady
// while the text changes.
void IEDrawTranslucentTextBox(TCanvas* Canvas, int32_t& X, int32_t& Y, const std::string& Text,
                              const std::string& WidthText);
