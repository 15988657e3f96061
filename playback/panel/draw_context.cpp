#include "playback/panel/draw_context.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "playback/panel/skin_bitmap.h"
#include "video/window_surface.h"

namespace strevana {

namespace {

QColor toQColor(Colour c) { return QColor::fromRgb(static_cast<QRgb>(0xff000000u | c)); }

QString toQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Fonts need the GUI application's font database; without one (headless
// tools) text is skipped instead of crashing.
bool fontsAvailable() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

// Greedy word wrapping; a word wider than the line is cut with "...".
std::vector<QString> wrapLines(const QString& text, const QFontMetrics& fm, int32_t width) {
  std::vector<QString> lines;
  const QStringList paragraphs = text.split(QLatin1Char('\n'));
  for (const QString& paragraph : paragraphs) {
    QString current;
    const QStringList words = paragraph.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word : words) {
      if (fm.horizontalAdvance(word) > width) {
        word = fm.elidedText(word, Qt::ElideRight, width);
      }
      const QString candidate = current.isEmpty() ? word : current + QLatin1Char(' ') + word;
      if (current.isEmpty() || fm.horizontalAdvance(candidate) <= width) {
        current = candidate;
      } else {
        lines.push_back(current);
        current = word;
      }
    }
    lines.push_back(current);
  }
  return lines;
}

}  // namespace

int32_t DrawContext::clientWidth() const { return window_ ? window_->clientWidth() : 0; }
int32_t DrawContext::clientHeight() const { return window_ ? window_->clientHeight() : 0; }

void DrawContext::setClip(int32_t x, int32_t y, int32_t width, int32_t height) {
  clipX_ = x;
  clipY_ = y;
  clipWidth_ = width;
  clipHeight_ = height;
}

QRect DrawContext::clipRect() const {
  QRect client(0, 0, clientWidth(), clientHeight());
  if (clipX_ == -1) {
    return client;
  }
  if (clipWidth_ <= 0 || clipHeight_ <= 0) {
    return QRect();
  }
  return client.intersected(QRect(clipX_, clipY_, clipWidth_, clipHeight_));
}

template <class Draw>
void DrawContext::paintClipped(Draw&& draw) {
  QRect drawn;
  {
    auto buffer = window_->paint();
    const QRect clip = clipRect();
    if (clip.isEmpty()) {
      return;
    }
    QPainter p(&buffer.image());
    p.setClipRect(clip);
    drawn = draw(p, clip);
  }
  if (!drawn.isEmpty()) {
    window_->invalidate(drawn);
  }
}

QFont DrawContext::font() const {
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setStyleHint(QFont::SansSerif);
  f.setPixelSize(fontEnabled_ > 0 ? std::max(fontHeight_, kMinFontPixels) : kDefaultFontPixels);
  f.setWeight(QFont::Normal);
  return f;
}

void DrawContext::line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (!window_ || (x1 == x2 && y1 == y2)) {
    return;
  }
  // The end point belongs to the next segment, so it is left out: step back
  // one pixel along the major axis.
  const int32_t dx = x2 - x1;
  const int32_t dy = y2 - y1;
  const int32_t major = std::max(std::abs(dx), std::abs(dy));
  const auto stepBack = [major](int32_t start, int32_t delta) {
    const double v = start + static_cast<double>(delta) * (major - 1) / major;
    return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5);
  };
  const int32_t ex = stepBack(x1, dx);
  const int32_t ey = stepBack(y1, dy);
  paintClipped([&](QPainter& p, const QRect& clip) {
    p.setPen(QPen(toQColor(foreground_), 0));
    if (major == 1) {
      p.drawPoint(x1, y1);
    } else {
      p.drawLine(x1, y1, ex, ey);
    }
    return QRect(QPoint(std::min(x1, ex), std::min(y1, ey)),
                 QPoint(std::max(x1, ex), std::max(y1, ey)))
        .intersected(clip);
  });
}

void DrawContext::rectangle(int32_t left, int32_t top, int32_t right, int32_t bottom) {
  if (!window_) {
    return;
  }
  if (right < left) {
    std::swap(left, right);
  }
  if (bottom < top) {
    std::swap(top, bottom);
  }
  const int32_t w = right - left;
  const int32_t h = bottom - top;
  if (w <= 0 || h <= 0) {
    return;
  }
  paintClipped([&](QPainter& p, const QRect& clip) {
    const QColor pen = toQColor(foreground_);
    p.fillRect(left, top, w, h, toQColor(fillWithForeground_ ? foreground_ : background_));
    p.fillRect(left, top, w, 1, pen);
    p.fillRect(left, bottom - 1, w, 1, pen);
    p.fillRect(left, top, 1, h, pen);
    p.fillRect(right - 1, top, 1, h, pen);
    return QRect(left, top, w, h).intersected(clip);
  });
}

void DrawContext::text(int32_t x, int32_t y, std::string_view text, bool rightAligned) {
  if (!window_ || text.empty() || !fontsAvailable()) {
    return;
  }
  const QString s = toQString(text);
  const QFont f = font();
  const QFontMetrics fm(f);
  const int32_t width = fm.horizontalAdvance(s);
  const int32_t left = rightAligned ? x - width : x;
  paintClipped([&](QPainter& p, const QRect& clip) {
    p.setFont(f);
    p.fillRect(left, y, width, fm.height(), toQColor(background_));
    p.setPen(toQColor(foreground_));
    p.drawText(left, y + fm.ascent(), s);
    // Glyphs may overhang their advance by a pixel or two.
    return QRect(left - 2, y, width + 4, fm.height()).intersected(clip);
  });
}

int32_t DrawContext::textBox(int32_t left, int32_t top, int32_t right, int32_t bottom,
                             std::string_view text) {
  if (!window_ || text.empty() || right <= left || !fontsAvailable()) {
    return top;
  }
  const QFont f = font();
  const QFontMetrics fm(f);
  const std::vector<QString> lines = wrapLines(toQString(text), fm, right - left);
  const int32_t lineHeight = fm.height();
  const int64_t measured = top + static_cast<int64_t>(lines.size()) * lineHeight;
  const int32_t used = static_cast<int32_t>(std::min<int64_t>(measured, bottom));
  if (used <= top) {
    return std::max(used, top);
  }
  paintClipped([&](QPainter& p, const QRect& clip) {
    const QRect box = QRect(left, top, right - left, used - top).intersected(clip);
    if (box.isEmpty()) {
      return QRect();
    }
    p.setClipRect(box);
    p.setFont(f);
    p.setPen(toQColor(foreground_));
    int32_t y = top;
    for (const QString& l : lines) {
      if (y >= used) {
        break;
      }
      p.fillRect(left, y, fm.horizontalAdvance(l), lineHeight, toQColor(background_));
      p.drawText(left, y + fm.ascent(), l);
      y += lineHeight;
    }
    return box;
  });
  return used;
}

void DrawContext::bitmap(int32_t x, int32_t y, int32_t width, int32_t height,
                         const SkinBitmap& picture) {
  if (!window_ || picture.isNull() || width <= 0 || height <= 0) {
    return;
  }
  paintClipped([&](QPainter& p, const QRect& clip) {
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    if (width == picture.width() && height == picture.height()) {
      p.drawImage(x, y, picture.image());
    } else {
      p.drawImage(QRect(x, y, width, height), picture.image());
    }
    return QRect(x, y, width, height).intersected(clip);
  });
}

int32_t DrawContext::textHeight() const {
  if (!fontsAvailable()) {
    return 0;
  }
  return QFontMetrics(font()).height();
}

int32_t DrawContext::textWidth(std::string_view text) const {
  if (!fontsAvailable()) {
    return 0;
  }
  return QFontMetrics(font()).horizontalAdvance(toQString(text));
}

}  // namespace strevana
