// Text on the canvas: fonts through Qt, pixels through the canvas engine so
// that clipping, 1-bit and 8-bit targets and the background rules hold.
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <string>
#include <unordered_map>

#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"
#include "platform/gdi/canvas_engine.h"

namespace {

bool WantAntialias(const TFont& f, const QImage* target) {
  if (target) {
    const QImage::Format fm = target->format();
    if (fm == QImage::Format_Mono || fm == QImage::Format_MonoLSB || fm == QImage::Format_Indexed8)
      return false;
  }
  const uint8_t q = f.GetQuality();
  return q != NONANTIALIASED_QUALITY && q != DRAFT_QUALITY;
}

QFont BuildQFont(const TFont& f, bool antialias);

// Fonts are built once per look: text is often drawn a character at a time.
QFont MakeQFont(const TFont& f, bool antialias) {
  thread_local std::unordered_map<std::string, QFont> cache;
  LOGFONT lf = f.GetLogFont();
  std::string key(reinterpret_cast<const char*>(&lf), sizeof lf);
  key += f.GetName();  // names longer than the record holds
  key += char(antialias);
  key += std::to_string(f.GetPixelsPerInch());
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  if (cache.size() > 64) cache.clear();
  return cache.emplace(key, BuildQFont(f, antialias)).first->second;
}

QFont BuildQFont(const TFont& f, bool antialias) {
  QFont q(QString::fromStdString(f.GetName()));
  const TFontStyles st = f.GetStyle();
  q.setBold(st & FontStyleBit(fsBold));
  q.setItalic(st & FontStyleBit(fsItalic));
  q.setUnderline(st & FontStyleBit(fsUnderline));
  q.setStrikeOut(st & FontStyleBit(fsStrikeOut));
  if (f.GetPitch() == fpFixed) q.setFixedPitch(true);
  q.setStyleStrategy(antialias ? QFont::PreferAntialias : QFont::NoAntialias);
  q.setHintingPreference(QFont::PreferFullHinting);
  int32_t h = f.GetHeight();
  if (h == 0) h = -MulDiv(12, f.GetPixelsPerInch(), 72);
  // Negative heights give the character (em) height, positive ones the
  // cell height (ascent + descent).
  const int limit = 4096;
  if (h < 0) {
    q.setPixelSize(std::clamp(-h, 1, limit));
  } else {
    const int cell = std::clamp(h, 1, limit);
    q.setPixelSize(cell);
    const int got = QFontMetrics(q).height();
    if (got > 0 && got != cell)
      q.setPixelSize(std::clamp(int(IERound(double(cell) * cell / got)), 1, limit));
  }
  return q;
}

std::string Utf8Prefix(const std::string& s, int32_t count) {
  if (count < 0 || size_t(count) >= s.size()) return s;
  size_t n = size_t(count);
  // Never split a UTF-8 sequence.
  while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
  return s.substr(0, n);
}

}  // namespace

TSize TCanvas::TextExtent(const std::string& Text) const {
  const QFont q = MakeQFont(*FFont, WantAntialias(*FFont, FTarget));
  const QFontMetrics fm(q);
  return TSize{fm.horizontalAdvance(QString::fromUtf8(Text.data(), qsizetype(Text.size()))),
               fm.height()};
}

void TCanvas::GetTextMetrics(int32_t& Ascent, int32_t& Descent, int32_t& InternalLeading,
                             int32_t& AveCharWidth) const {
  const QFont q = MakeQFont(*FFont, WantAntialias(*FFont, FTarget));
  const QFontMetrics fm(q);
  Ascent = fm.ascent();
  Descent = fm.descent();
  InternalLeading = std::max(0, fm.height() - q.pixelSize());
  AveCharWidth = fm.averageCharWidth();
}

void TCanvas::TextOut(int32_t X, int32_t Y, const std::string& Text) {
  ExtTextOut(X, Y, uint32_t(FTextFlags), nullptr, Text);
  MoveTo(X + TextWidth(Text), Y);
}

void TCanvas::TextRect(const TRect& R, int32_t X, int32_t Y, const std::string& Text) {
  uint32_t options = ETO_CLIPPED | uint32_t(FTextFlags);
  if (FBrush->GetStyle() != bsClear) options |= ETO_OPAQUE;
  ExtTextOut(X, Y, options, &R, Text);
}

void TCanvas::ExtTextOut(int32_t X, int32_t Y, uint32_t Options, const TRect* R,
                         const std::string& Text) {
  if (!FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  const int64_t ox = FOrigin.X, oy = FOrigin.Y;
  QRect devR;
  if (R) devR = NormRect(R->Left + ox, R->Top + oy, R->Right + ox, R->Bottom + oy);
  if (p.Ok() && R && (Options & ETO_CLIPPED)) p.Restrict(devR);
  if (!p.Ok()) {
    Changed();
    return;
  }
  Surface& s = p.Surf();
  const uint32_t textRgb = RgbOf(FTextColor), bkRgb = RgbOf(FBkColor);
  if (R && (Options & ETO_OPAQUE) && R->Right > R->Left && R->Bottom > R->Top) {
    const QRect v = devR.intersected(p.Visible());
    for (int y = v.top(); y <= v.bottom() && !v.isEmpty(); ++y)
      p.ClipSpan(y, v.left(), v.right(), [&](int x) { s.Put(x, y, bkRgb); });
  }
  const QString str = QString::fromUtf8(Text.data(), qsizetype(Text.size()));
  if (!str.isEmpty()) {
    const bool aa = WantAntialias(*FFont, FTarget);
    const QFont qf = MakeQFont(*FFont, aa);
    const QFontMetrics fm(qf);
    const int w = fm.horizontalAdvance(str), h = fm.height(), asc = fm.ascent();
    // The text turns counter-clockwise about its reference point, which the
    // alignment places on the text's left, centre or right and on its top,
    // baseline or bottom.
    QTransform t;
    t.translate(double(X + ox), double(Y + oy));
    t.rotate(-FFont->GetOrientation() / 10.0);
    double ax = 0, ay = 0;
    if ((FTextAlign & TA_CENTER) == TA_CENTER)
      ax = -w / 2;
    else if (FTextAlign & TA_RIGHT)
      ax = -w;
    if ((FTextAlign & TA_BASELINE) == TA_BASELINE)
      ay = -asc;
    else if (FTextAlign & TA_BOTTOM)
      ay = -h;
    t.translate(ax, ay);
    const QRectF cell(0, 0, w, h);
    const int slack = h / 3 + 2;  // italic overhang and glyphs beyond the advance
    const QRect bbox = t.mapRect(cell.adjusted(-slack, -2, slack, 2)).toAlignedRect().intersected(p.Visible());
    if (!bbox.isEmpty()) {
      QImage tm(bbox.size(), QImage::Format_ARGB32_Premultiplied);
      tm.fill(0);
      QImage bm;
      {
        QPainter qp(&tm);
        qp.setRenderHint(QPainter::TextAntialiasing, aa);
        qp.setRenderHint(QPainter::Antialiasing, false);
        qp.translate(-bbox.left(), -bbox.top());
        qp.setTransform(t, true);
        qp.setFont(qf);
        qp.setPen(QColor(255, 255, 255));
        qp.drawText(QPointF(0, asc), str);
      }
      const bool opaque = FBkMode == OPAQUE;
      if (opaque) {
        bm = QImage(bbox.size(), QImage::Format_ARGB32_Premultiplied);
        bm.fill(0);
        QPainter qp(&bm);
        qp.setRenderHint(QPainter::Antialiasing, false);
        qp.translate(-bbox.left(), -bbox.top());
        qp.setTransform(t, true);
        qp.fillRect(cell, QColor(255, 255, 255));
      }
      for (int y = bbox.top(); y <= bbox.bottom(); ++y) {
        const QRgb* tl = reinterpret_cast<const QRgb*>(tm.constScanLine(y - bbox.top()));
        const QRgb* bl =
            opaque ? reinterpret_cast<const QRgb*>(bm.constScanLine(y - bbox.top())) : nullptr;
        p.ClipSpan(y, bbox.left(), bbox.right(), [&](int x) {
          const int i = x - bbox.left();
          const int a = qAlpha(tl[i]);
          if (bl && qAlpha(bl[i]) >= 128 && a < 255) s.Put(x, y, bkRgb);
          if (a == 0) return;
          if (!aa) {
            if (a >= 128) s.Put(x, y, textRgb);
            return;
          }
          const uint32_t d = s.Get(x, y);
          auto mix = [&](int shift) {
            const int tc = int((textRgb >> shift) & 0xFF), dc = int((d >> shift) & 0xFF);
            return uint32_t((tc * a + dc * (255 - a) + 127) / 255) << shift;
          };
          s.Put(x, y, mix(16) | mix(8) | mix(0));
        });
      }
    }
  }
  Changed();
}

int32_t DrawText(TCanvas* DC, const std::string& Text, int32_t Count, TRect& Rect,
                 uint32_t Format) {
  if (!DC) return 0;
  const std::string text = Utf8Prefix(Text, Count);
  TFont* font = DC->GetFont();
  const QFont qf = MakeQFont(*font, WantAntialias(*font, DC->GetTarget()));
  const QFontMetrics fm(qf);
  const int lineH = fm.height() + ((Format & DT_EXTERNALLEADING) ? fm.leading() : 0);
  const int boxW = Rect.Right - Rect.Left;

  // Lines with their prefix (accelerator) positions.
  struct Line {
    QString S;
    int Prefix = -1;
  };
  std::vector<Line> lines;
  auto prefixed = [&](const QString& in, int& prefixAt) {
    prefixAt = -1;
    if (Format & DT_NOPREFIX) return in;
    QString out;
    for (int i = 0; i < in.size(); ++i) {
      if (in[i] == QLatin1Char('&') && i + 1 < in.size()) {
        ++i;
        if (in[i] != QLatin1Char('&')) prefixAt = int(out.size());
      }
      out += in[i];
    }
    return out;
  };
  QString all = QString::fromUtf8(text.data(), qsizetype(text.size()));
  if (Format & DT_EXPANDTABS) {
    QString out;
    for (QChar c : all) {
      if (c == QLatin1Char('\t')) {
        const int col = int(out.size() - (out.lastIndexOf(QLatin1Char('\n')) + 1));
        out += QString(8 - col % 8, QLatin1Char(' '));
      } else {
        out += c;
      }
    }
    all = out;
  }
  QStringList paragraphs;
  if (Format & DT_SINGLELINE) {
    QString one = all;
    one.replace(QLatin1String("\r\n"), QLatin1String(" "));
    one.replace(QLatin1Char('\n'), QLatin1Char(' '));
    one.replace(QLatin1Char('\r'), QLatin1Char(' '));
    paragraphs << one;
  } else {
    QString norm = all;
    norm.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    norm.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    paragraphs = norm.split(QLatin1Char('\n'));
  }
  const bool wrap = (Format & DT_WORDBREAK) && !(Format & DT_SINGLELINE);
  for (const QString& para : paragraphs) {
    int pre = -1;
    const QString shown = prefixed(para, pre);
    if (!wrap || fm.horizontalAdvance(shown) <= boxW) {
      lines.push_back({shown, pre});
      continue;
    }
    // Word wrap: break before the word that would cross the right edge; a
    // word wider than the box keeps a line of its own.
    QString cur;
    int curPre = -1;
    int pos = 0;
    const QStringList words = shown.split(QLatin1Char(' '));
    for (int wi = 0; wi < words.size(); ++wi) {
      const QString& word = words[wi];
      const QString cand = cur.isEmpty() ? word : cur + QLatin1Char(' ') + word;
      const int wordStart = pos;
      pos += int(word.size()) + 1;
      if (!cur.isEmpty() && fm.horizontalAdvance(cand) > boxW) {
        lines.push_back({cur, curPre});
        cur = word;
        curPre = (pre >= wordStart && pre < wordStart + word.size()) ? pre - wordStart : -1;
      } else {
        if (pre >= wordStart && pre < wordStart + word.size())
          curPre = int(cur.isEmpty() ? 0 : cur.size() + 1) + (pre - wordStart);
        cur = cand;
      }
    }
    lines.push_back({cur, curPre});
  }
  if (Format & (DT_END_ELLIPSIS | DT_WORD_ELLIPSIS | DT_PATH_ELLIPSIS)) {
    const QString dots = QStringLiteral("...");
    for (Line& l : lines) {
      if (fm.horizontalAdvance(l.S) <= boxW) continue;
      QString cut = l.S;
      while (!cut.isEmpty() && fm.horizontalAdvance(cut + dots) > boxW) cut.chop(1);
      l.S = cut + dots;
      if (l.Prefix >= cut.size()) l.Prefix = -1;
    }
  }
  int maxW = 0;
  for (const Line& l : lines) maxW = std::max(maxW, fm.horizontalAdvance(l.S));
  const int totalH = text.empty() ? 0 : int(lines.size()) * lineH;
  if (Format & DT_CALCRECT) {
    Rect.Right = Rect.Left + (text.empty() ? 0 : maxW);
    Rect.Bottom = Rect.Top + totalH;
    return totalH;
  }
  if (text.empty()) return 0;
  int y = Rect.Top;
  if (Format & DT_SINGLELINE) {
    if (Format & DT_VCENTER)
      y = Rect.Top + (Rect.Bottom - Rect.Top - lineH) / 2;
    else if (Format & DT_BOTTOM)
      y = Rect.Bottom - lineH;
  }
  const bool clip = !(Format & DT_NOCLIP);
  const uint32_t opts = clip ? ETO_CLIPPED : 0;
  // Lines are placed by their top-left corner whatever the text alignment.
  const uint32_t align = DC->GetTextAlign();
  DC->SetTextAlign(TA_LEFT | TA_TOP);
  for (const Line& l : lines) {
    const int lw = fm.horizontalAdvance(l.S);
    int x = Rect.Left;
    if (Format & DT_CENTER)
      x = Rect.Left + (boxW - lw) / 2;
    else if (Format & DT_RIGHT)
      x = Rect.Right - lw;
    const QByteArray utf8 = l.S.toUtf8();
    DC->ExtTextOut(x, y, opts, clip ? &Rect : nullptr, std::string(utf8.constData(), size_t(utf8.size())));
    if (l.Prefix >= 0 && !(Format & DT_HIDEPREFIX)) {
      // The accelerator's underline, one pixel below the baseline.
      const int ux = x + fm.horizontalAdvance(l.S.left(l.Prefix));
      const int uw = std::max(1, fm.horizontalAdvance(l.S.mid(l.Prefix, 1)));
      const int uy = y + fm.ascent() + 1;
      const TBrushKeeper keep(DC);
      DC->GetBrush()->SetColor(DC->GetTextColor());
      DC->GetBrush()->SetStyle(bsSolid);
      TRect u = ::Rect(ux, uy, ux + uw, uy + 1);
      if (clip) IntersectRect(u, u, Rect);
      DC->FillRect(u);
    }
    y += lineH;
  }
  DC->SetTextAlign(align);
  return totalH;
}
