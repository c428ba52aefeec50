#include "platform/gdi/canvas.h"

TCanvas::TCanvas(QImage* Target) : FTarget(Target) {}
TCanvas::~TCanvas() = default;
