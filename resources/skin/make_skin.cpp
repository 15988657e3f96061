// Draws the player's skin pictures, the still picture shown for audio-only
// media and the program icons, and writes them as PNG files. The PNGs are
// committed beside this file; run it again only to change the look:
//
//   cmake --build BUILD --target strevana-make-skin
//   QT_QPA_PLATFORM=offscreen BUILD/playback/strevana-make-skin resources/skin resources/icons
//
// The frame pieces are cut from one reference panel so that they join
// seamlessly; every piece is uniform along the direction it is stretched in,
// and anything that must not stretch (ends of the slider bed, the time
// display) sits in a corner piece. Buttons and slider parts are painted over
// the same background they cover in the panel.
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

// Layout facts of the panel this skin is made for.
constexpr int kLeft = 15, kRight = 17, kTop = 13, kBottom = 72, kCornerBR = 122;
constexpr int kRefWidth = kLeft + 303 + kCornerBR;  // 440: bottom pieces side by side
constexpr int kRefHeight = kTop + 216 + kBottom;    // 301: left edge between corners
constexpr int kButtonRow = kBottom - 28 - 13;       // button top inside the bottom piece (31)
constexpr int kSliderRow = kBottom - 60;            // slider top inside the bottom piece (12)
constexpr int kTimeX = kCornerBR - 100, kTimeY = kBottom - 35;  // time text in the corner

const QColor kText(200, 220, 240);
const QColor kTimeBack(64, 80, 100);
const QColor kAccent(90, 170, 235);
const QColor kOutline(14, 17, 21);

QString gOutSkin, gOutIcons;
int gFailures = 0;

void save(const QImage& image, const QString& dir, const QString& name, bool keepAlpha = false) {
  const QImage out = keepAlpha ? image.convertToFormat(QImage::Format_ARGB32)
                               : image.convertToFormat(QImage::Format_RGB888);
  const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
  if (!out.save(path, "PNG", 9)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    ++gFailures;
  }
}

// The whole frame, drawn once at reference size.
QImage referencePanel() {
  QImage img(kRefWidth, kRefHeight, QImage::Format_RGB32);
  QPainter p(&img);
  // Body: a vertical gradient, so horizontal edges stay uniform when stretched
  // sideways and the side edges keep their end colours when stretched.
  QLinearGradient body(0, 0, 0, kRefHeight);
  body.setColorAt(0.0, QColor(52, 61, 73));
  body.setColorAt(0.05, QColor(43, 51, 62));
  body.setColorAt(0.75, QColor(34, 41, 50));
  body.setColorAt(1.0, QColor(25, 30, 37));
  p.fillRect(img.rect(), body);
  const int bottomTop = kRefHeight - kBottom;
  // The control area gets its own, slightly brighter sheen.
  QLinearGradient panel(0, bottomTop, 0, kRefHeight);
  panel.setColorAt(0.0, QColor(46, 55, 67));
  panel.setColorAt(0.45, QColor(36, 43, 53));
  panel.setColorAt(1.0, QColor(24, 29, 36));
  p.fillRect(QRect(0, bottomTop, kRefWidth, kBottom), panel);

  // Outer border with a bevel highlight on top and left.
  p.setPen(kOutline);
  p.drawRect(0, 0, kRefWidth - 1, kRefHeight - 1);
  p.setPen(QColor(84, 98, 116));
  p.drawLine(1, 1, kRefWidth - 2, 1);
  p.drawLine(1, 1, 1, kRefHeight - 2);
  p.setPen(QColor(20, 24, 30));
  p.drawLine(2, kRefHeight - 2, kRefWidth - 2, kRefHeight - 2);
  p.drawLine(kRefWidth - 2, 2, kRefWidth - 2, kRefHeight - 2);

  // Inset bevel around the video hole.
  const QRect hole(kLeft, kTop, kRefWidth - kLeft - kRight, kRefHeight - kTop - kBottom);
  p.fillRect(hole, Qt::black);
  p.setPen(QColor(12, 14, 18));
  p.drawRect(hole.adjusted(-1, -1, 0, 0));
  p.setPen(QColor(22, 26, 32));
  p.drawRect(hole.adjusted(-2, -2, 1, 1));
  p.setPen(QColor(72, 85, 101));
  p.drawLine(hole.left() - 2, hole.bottom() + 2, hole.right() + 2, hole.bottom() + 2);
  p.drawLine(hole.right() + 2, hole.top() - 2, hole.right() + 2, hole.bottom() + 2);

  // Groove under the slider: its rounded ends live in the corner pieces.
  const int bedTop = bottomTop + kSliderRow - 3;
  const QRectF bed(10.5, bedTop + 0.5, kRefWidth - kCornerBR + 40 - 10 - 1, 13);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient bedFill(0, bed.top(), 0, bed.bottom());
  bedFill.setColorAt(0.0, QColor(18, 22, 27));
  bedFill.setColorAt(1.0, QColor(30, 36, 44));
  p.setBrush(bedFill);
  p.setPen(QPen(QColor(10, 12, 15), 1));
  p.drawRoundedRect(bed, 6, 6);
  p.setPen(QPen(QColor(70, 82, 98), 1));
  p.drawLine(QPointF(16, bed.bottom() + 1), QPointF(bed.right() - 5, bed.bottom() + 1));

  // Time display, recessed, in the exact colour the time text is drawn on.
  const int cornerX = kRefWidth - kCornerBR;
  const QRectF lcd(cornerX + kTimeX - 6 + 0.5, bottomTop + kTimeY - 5 + 0.5, 94, 25);
  p.setPen(QPen(QColor(10, 12, 15), 1));
  p.setBrush(kTimeBack);
  p.drawRoundedRect(lcd, 4, 4);
  p.setPen(QPen(QColor(96, 112, 134), 1));
  p.drawLine(QPointF(lcd.left() + 4, lcd.bottom() + 1), QPointF(lcd.right() - 4, lcd.bottom() + 1));
  p.setRenderHint(QPainter::Antialiasing, false);
  // Flat interior so the text's own box blends in.
  p.fillRect(QRect(cornerX + kTimeX - 4, bottomTop + kTimeY - 3, 90, 21), kTimeBack);

  // Maker's mark above the time display, right of the slider's reach.
  QFont mark(QStringLiteral("DejaVu Sans"));
  mark.setPixelSize(10);
  mark.setBold(true);
  mark.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
  p.setFont(mark);
  p.setPen(QColor(118, 140, 166));
  p.drawText(QRect(cornerX + 44, bottomTop + 7, 72, 14), Qt::AlignRight | Qt::AlignVCenter,
             QStringLiteral("strevana"));
  p.end();
  return img;
}

// Background strip the buttons and slider parts are painted over.
QImage backdrop(const QImage& ref, int rowInBottom, int width, int height) {
  return ref.copy(kLeft + 100, kRefHeight - kBottom + rowInBottom, width, height);
}

enum class State { Normal, Pressed, Hover, Disabled };

using Symbol = std::function<void(QPainter&)>;

QImage button(const QImage& ref, State state, const Symbol& symbol) {
  QImage img = backdrop(ref, kButtonRow, 28, 28);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF disc(1.5, 1.5, 25, 25);
  // Soft drop shadow.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 70));
  p.drawEllipse(disc.translated(0, 1));
  QLinearGradient g(0, 2, 0, 26);
  QColor ring = QColor(18, 22, 27);
  QColor glyph = kText;
  switch (state) {
    case State::Normal:
      g.setColorAt(0, QColor(78, 91, 108));
      g.setColorAt(1, QColor(38, 46, 56));
      break;
    case State::Hover:
      g.setColorAt(0, QColor(98, 116, 138));
      g.setColorAt(1, QColor(50, 62, 76));
      ring = kAccent;
      glyph = QColor(240, 248, 255);
      break;
    case State::Pressed:
      g.setColorAt(0, QColor(26, 32, 40));
      g.setColorAt(1, QColor(52, 64, 78));
      ring = kAccent;
      glyph = QColor(128, 204, 255);
      break;
    case State::Disabled:
      g.setColorAt(0, QColor(48, 55, 64));
      g.setColorAt(1, QColor(40, 46, 54));
      ring = QColor(28, 33, 39);
      glyph = QColor(86, 97, 110);
      break;
  }
  p.setBrush(g);
  p.setPen(QPen(ring, 1.2));
  p.drawEllipse(disc);
  if (state == State::Normal || state == State::Hover) {
    // Glossy highlight on the upper half.
    QLinearGradient gloss(0, 3, 0, 14);
    gloss.setColorAt(0, QColor(255, 255, 255, state == State::Hover ? 70 : 50));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(5, 3, 18, 11));
  }
  if (state == State::Hover || state == State::Pressed) {
    QRadialGradient glow(14, 14, 13);
    glow.setColorAt(0.75, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 0));
    glow.setColorAt(1.0, QColor(kAccent.red(), kAccent.green(), kAccent.blue(), 60));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(disc);
  }
  p.setPen(Qt::NoPen);
  if (state == State::Pressed) {
    p.translate(0.6, 0.8);  // pushed in
  }
  if (state != State::Disabled) {
    // Dark under-stroke keeps the glyph crisp on the light bezel.
    p.save();
    p.translate(0, 0.8);
    p.setBrush(QColor(0, 0, 0, 110));
    symbol(p);
    p.restore();
  }
  p.setBrush(glyph);
  symbol(p);
  p.end();
  return img;
}

void triangle(QPainter& p, QPointF a, QPointF b, QPointF c) {
  QPainterPath path;
  path.moveTo(a);
  path.lineTo(b);
  path.lineTo(c);
  path.closeSubpath();
  p.drawPath(path);
}

void bar(QPainter& p, qreal x, qreal y, qreal w, qreal h) {
  p.drawRoundedRect(QRectF(x, y, w, h), 0.6, 0.6);
}

const Symbol kPlay = [](QPainter& p) { triangle(p, {10.5, 7.5}, {10.5, 20.5}, {20.5, 14}); };
const Symbol kPause = [](QPainter& p) {
  bar(p, 8.5, 8, 4, 12);
  bar(p, 15.5, 8, 4, 12);
};
const Symbol kStepForward = [](QPainter& p) {
  triangle(p, {8.5, 8}, {8.5, 20}, {16.5, 14});
  bar(p, 17.5, 8, 3, 12);
};
const Symbol kStepBack = [](QPainter& p) {
  bar(p, 7.5, 8, 3, 12);
  triangle(p, {19.5, 8}, {19.5, 20}, {11.5, 14});
};
const Symbol kRewind = [](QPainter& p) {
  bar(p, 6.5, 9, 2.5, 10);
  triangle(p, {15, 9}, {15, 19}, {9.5, 14});
  triangle(p, {21, 9}, {21, 19}, {15.5, 14});
};
const Symbol kEnd = [](QPainter& p) {
  triangle(p, {7, 9}, {7, 19}, {12.5, 14});
  triangle(p, {13, 9}, {13, 19}, {18.5, 14});
  bar(p, 19, 9, 2.5, 10);
};

void buttonSet(const QImage& ref, const QString& name, const char* const (&suffixes)[4],
               const Symbol& symbol) {
  const State states[4] = {State::Normal, State::Pressed, State::Hover, State::Disabled};
  for (int i = 0; i < 4; ++i) {
    save(button(ref, states[i], symbol), gOutSkin, name + QLatin1String(suffixes[i]));
  }
}

// Slider parts: a thin lit track in the groove and a pill-shaped knob.
QImage track(const QImage& ref, int width, int capSide /* -1 left, 0 none, 1 right */) {
  QImage img = backdrop(ref, kSliderRow, width, 8);
  QPainter p(&img);
  const QColor trackDark(12, 15, 19), trackLit(58, 100, 140), edge(86, 104, 126);
  for (int x = 0; x < width; ++x) {
    // Rounded caps: the outermost column of an end is shorter.
    const bool outer = (capSide < 0 && x == 0) || (capSide > 0 && x == width - 1);
    const bool rim = (capSide < 0 && x == 1) || (capSide > 0 && x == width - 2);
    const int top = outer ? 3 : 2;
    const int bottom = outer ? 4 : 5;
    for (int y = top; y <= bottom; ++y) {
      QColor c = (y == top && !outer) ? trackDark : trackLit.darker(y == 3 && !rim ? 100 : 115);
      img.setPixelColor(x, y, c);
    }
    if (!outer) {
      img.setPixelColor(x, 6, edge.darker(rim ? 130 : 100));
    }
  }
  p.end();
  return img;
}

QImage knob(const QImage& ref) {
  QImage img = track(ref, 16, 0);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, 8);
  g.setColorAt(0, QColor(176, 222, 255));
  g.setColorAt(0.5, QColor(96, 172, 232));
  g.setColorAt(1, QColor(44, 102, 156));
  p.setBrush(g);
  p.setPen(QPen(QColor(10, 22, 36), 1));
  p.drawRoundedRect(QRectF(0.5, 0.5, 15, 7), 3.5, 3.5);
  p.setPen(QPen(QColor(230, 244, 255, 150), 1));
  p.drawLine(QPointF(7.5, 2.5), QPointF(7.5, 5.5));
  p.end();
  return img;
}

QImage stillPicture() {
  QImage img(320, 240, QImage::Format_RGB32);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient bg(160, 110, 220);
  bg.setColorAt(0, QColor(44, 58, 78));
  bg.setColorAt(1, QColor(10, 13, 18));
  p.fillRect(img.rect(), bg);
  // Sound waves to both sides of a note.
  for (int i = 0; i < 3; ++i) {
    const qreal r = 52 + i * 18;
    QColor c = kAccent;
    c.setAlpha(150 - i * 40);
    p.setPen(QPen(c, 3.5, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(160 - r, 105 - r, 2 * r, 2 * r), -40 * 16, 80 * 16);
    p.drawArc(QRectF(160 - r, 105 - r, 2 * r, 2 * r), 140 * 16, 80 * 16);
  }
  // A beamed pair of eighth notes.
  QLinearGradient noteFill(0, 70, 0, 140);
  noteFill.setColorAt(0, QColor(220, 236, 250));
  noteFill.setColorAt(1, QColor(150, 180, 210));
  p.setPen(Qt::NoPen);
  p.setBrush(noteFill);
  p.save();
  p.translate(140, 132);
  p.rotate(-20);
  p.drawEllipse(QRectF(-13, -9, 26, 18));
  p.restore();
  p.save();
  p.translate(184, 124);
  p.rotate(-20);
  p.drawEllipse(QRectF(-13, -9, 26, 18));
  p.restore();
  p.drawRect(QRectF(149, 78, 5, 54));
  p.drawRect(QRectF(193, 70, 5, 54));
  QPainterPath beam;
  beam.moveTo(149, 78);
  beam.lineTo(198, 70);
  beam.lineTo(198, 82);
  beam.lineTo(149, 90);
  beam.closeSubpath();
  p.drawPath(beam);
  QFont f(QStringLiteral("DejaVu Sans"));
  f.setPixelSize(15);
  f.setBold(true);
  f.setLetterSpacing(QFont::AbsoluteSpacing, 2);
  p.setFont(f);
  p.setPen(kText);
  p.drawText(QRect(0, 184, 320, 20), Qt::AlignCenter, QStringLiteral("strevana Player"));
  f.setBold(false);
  f.setPixelSize(11);
  f.setLetterSpacing(QFont::AbsoluteSpacing, 1);
  p.setFont(f);
  p.setPen(QColor(120, 142, 168));
  p.drawText(QRect(0, 206, 320, 16), Qt::AlignCenter, QStringLiteral("audio"));
  p.end();
  return img;
}

QImage icon(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 64.0, size / 64.0);
  QLinearGradient g(0, 2, 0, 62);
  g.setColorAt(0, QColor(82, 160, 226));
  g.setColorAt(1, QColor(22, 62, 110));
  p.setPen(QPen(QColor(10, 24, 42), size >= 32 ? 1.5 : 2.5));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(3, 3, 58, 58), 14, 14);
  if (size >= 24) {
    QLinearGradient gloss(0, 4, 0, 30);
    gloss.setColorAt(0, QColor(255, 255, 255, 90));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawRoundedRect(QRectF(7, 5, 50, 26), 11, 11);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 0, 0, 80));
  triangle(p, {25, 19}, {25, 47}, {48, 33});
  p.setBrush(QColor(244, 250, 255));
  triangle(p, {24, 17}, {24, 45}, {47, 31});
  p.end();
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s SKIN_DIR ICON_DIR\n", argv[0]);
    return 2;
  }
  gOutSkin = QString::fromLocal8Bit(argv[1]);
  gOutIcons = QString::fromLocal8Bit(argv[2]);

  const QImage ref = referencePanel();
  const int w = kRefWidth, h = kRefHeight;
  save(ref.copy(0, 0, kLeft, kTop), gOutSkin, QStringLiteral("frame_top_left"));
  save(ref.copy(w - kRight, 0, kRight, kTop), gOutSkin, QStringLiteral("frame_top_right"));
  save(ref.copy(kLeft, 0, 369, kTop), gOutSkin, QStringLiteral("frame_top"));
  save(ref.copy(0, kTop, kLeft, 216), gOutSkin, QStringLiteral("frame_left"));
  save(ref.copy(w - kRight, kTop, kRight, 216), gOutSkin, QStringLiteral("frame_right"));
  save(ref.copy(0, h - kBottom, kLeft, kBottom), gOutSkin, QStringLiteral("frame_bottom_left"));
  save(ref.copy(kLeft, h - kBottom, 303, kBottom), gOutSkin, QStringLiteral("frame_bottom"));
  save(ref.copy(w - kCornerBR, h - kBottom, kCornerBR, kBottom), gOutSkin,
       QStringLiteral("frame_bottom_right"));

  const char* const pressed[4] = {"_normal", "_pressed", "_hover", "_disabled"};
  const char* const on[4] = {"_normal", "_on", "_hover", "_disabled"};
  buttonSet(ref, QStringLiteral("play"), on, kPlay);
  buttonSet(ref, QStringLiteral("pause"), pressed, kPause);
  buttonSet(ref, QStringLiteral("step_forward"), pressed, kStepForward);
  buttonSet(ref, QStringLiteral("step_back"), pressed, kStepBack);
  buttonSet(ref, QStringLiteral("rewind"), pressed, kRewind);
  buttonSet(ref, QStringLiteral("end"), pressed, kEnd);

  save(track(ref, 4, -1), gOutSkin, QStringLiteral("slider_left"));
  save(track(ref, 4, 1), gOutSkin, QStringLiteral("slider_right"));
  save(track(ref, 1, 0), gOutSkin, QStringLiteral("slider_middle"));
  save(knob(ref), gOutSkin, QStringLiteral("slider_knob"));

  save(stillPicture(), gOutSkin, QStringLiteral("still_picture"));
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    save(icon(size), gOutIcons, QStringLiteral("strevana_%1").arg(size), true);
  }
  return gFailures == 0 ? 0 : 1;
}
