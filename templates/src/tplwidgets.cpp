#include "tplwidgets.h"

#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QToolButton>

namespace vlt::templates {

namespace {

const QColor kBlue(0x2b, 0x7b, 0xd6);
const QColor kGreen(0x2e, 0x9d, 0x5b);
const QColor kRed(0xd6, 0x45, 0x3d);
const QColor kGrey(0x5b, 0x67, 0x73);

void drawPlus(QPainter& p, QPointF c, qreal r, const QColor& color) {
  p.setPen(Qt::NoPen);
  p.setBrush(color);
  p.drawEllipse(c, r, r);
  p.setPen(QPen(Qt::white, r * 0.32, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(c.x() - r * 0.5, c.y()), QPointF(c.x() + r * 0.5, c.y()));
  p.drawLine(QPointF(c.x(), c.y() - r * 0.5), QPointF(c.x(), c.y() + r * 0.5));
}

// A floppy disk in the lower left part of the square.
void drawDisk(QPainter& p, qreal s) {
  QRectF body(s * 0.05, s * 0.12, s * 0.68, s * 0.68);
  p.setPen(QPen(kBlue.darker(120), s * 0.06));
  p.setBrush(kBlue);
  p.drawRoundedRect(body, s * 0.08, s * 0.08);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRect(QRectF(body.left() + s * 0.14, body.top() + s * 0.06, s * 0.36, s * 0.2));
  p.drawRect(QRectF(body.left() + s * 0.12, body.top() + s * 0.42, s * 0.44, s * 0.2));
}

}  // namespace

namespace {
QPixmap drawToolIcon(ToolIcon icon, int size);
}  // namespace

QPixmap ToolIconPixmap(ToolIcon icon, int size) {
  // Every window's tool strip shows the same few icons: each drawn once.
  const QString key = QStringLiteral("vlt-tool-%1-%2").arg(static_cast<int>(icon)).arg(size);
  QPixmap pixmap;
  if (!QPixmapCache::find(key, &pixmap)) {
    pixmap = drawToolIcon(icon, size);
    QPixmapCache::insert(key, pixmap);
  }
  return pixmap;
}

namespace {
QPixmap drawToolIcon(ToolIcon icon, int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;
  const QPointF centre(s / 2, s / 2);
  switch (icon) {
    case ToolIcon::New:
      drawPlus(p, centre, s * 0.45, kGreen);
      break;
    case ToolIcon::Edit: {
      // A pencil lying from the lower left to the upper right.
      p.translate(centre);
      p.rotate(-45);
      p.setPen(QPen(kBlue.darker(130), s * 0.05));
      p.setBrush(kBlue);
      p.drawRect(QRectF(-s * 0.3, -s * 0.12, s * 0.5, s * 0.24));
      p.setBrush(QColor(0xf2, 0xc1, 0x6b));
      QPolygonF tip;
      tip << QPointF(-s * 0.3, -s * 0.12) << QPointF(-s * 0.46, 0) << QPointF(-s * 0.3, s * 0.12);
      p.drawPolygon(tip);
      p.setBrush(kRed);
      p.drawRect(QRectF(s * 0.2, -s * 0.12, s * 0.14, s * 0.24));
      break;
    }
    case ToolIcon::Delete:
      p.setPen(QPen(kRed, s * 0.16, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(s * 0.22, s * 0.22), QPointF(s * 0.78, s * 0.78));
      p.drawLine(QPointF(s * 0.78, s * 0.22), QPointF(s * 0.22, s * 0.78));
      break;
    case ToolIcon::Refresh: {
      p.setPen(QPen(kBlue, s * 0.13, Qt::SolidLine, Qt::RoundCap));
      QRectF ring(s * 0.18, s * 0.18, s * 0.64, s * 0.64);
      p.drawArc(ring, 60 * 16, 280 * 16);
      // The arrow head at the open end of the ring.
      p.setPen(Qt::NoPen);
      p.setBrush(kBlue);
      QPolygonF head;
      head << QPointF(s * 0.56, s * 0.02) << QPointF(s * 0.86, s * 0.2)
           << QPointF(s * 0.56, s * 0.4);
      p.drawPolygon(head);
      break;
    }
    case ToolIcon::SaveNew:
      drawDisk(p, s);
      drawPlus(p, QPointF(s * 0.74, s * 0.74), s * 0.24, kGreen);
      break;
    case ToolIcon::SaveClose:
      drawDisk(p, s);
      p.setPen(QPen(kGreen, s * 0.12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPolyline(QPolygonF{QPointF(s * 0.5, s * 0.74), QPointF(s * 0.66, s * 0.9),
                               QPointF(s * 0.95, s * 0.56)});
      break;
    case ToolIcon::Prior:
    case ToolIcon::Next: {
      // A triangle pointing back or on.
      const qreal tip = icon == ToolIcon::Prior ? s * 0.2 : s * 0.8;
      const qreal base = icon == ToolIcon::Prior ? s * 0.75 : s * 0.25;
      p.setPen(Qt::NoPen);
      p.setBrush(kBlue);
      p.drawPolygon(
          QPolygonF{QPointF(tip, s * 0.5), QPointF(base, s * 0.18), QPointF(base, s * 0.82)});
      break;
    }
    case ToolIcon::Search:
      p.setPen(QPen(kGrey, s * 0.12, Qt::SolidLine, Qt::RoundCap));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(QRectF(s * 0.14, s * 0.14, s * 0.48, s * 0.48));
      p.drawLine(QPointF(s * 0.56, s * 0.56), QPointF(s * 0.86, s * 0.86));
      break;
    case ToolIcon::Clear:
      p.setPen(QPen(kGrey, s * 0.11, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(s * 0.28, s * 0.28), QPointF(s * 0.72, s * 0.72));
      p.drawLine(QPointF(s * 0.72, s * 0.28), QPointF(s * 0.28, s * 0.72));
      break;
  }
  return pixmap;
}
}  // namespace

QToolButton* ToolButton(QAction* action, QWidget* parent, const char* name, const char* imgName,
                        ToolIcon icon, int width) {
  auto* button = new QToolButton(parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setFixedSize(width, 32);
  button->setFocusPolicy(Qt::NoFocus);
  button->setCursor(Qt::PointingHandCursor);
  QString tip = action->text();
  if (!action->shortcut().isEmpty())
    tip += " (" + action->shortcut().toString(QKeySequence::NativeText) + ")";
  button->setToolTip(tip);

  auto* img = new QLabel(button);
  img->setObjectName(QString::fromLatin1(imgName));
  img->setPixmap(ToolIconPixmap(icon));
  img->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* caption = new QLabel(action->text(), button);
  caption->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* row = new QHBoxLayout(button);
  row->setContentsMargins(10, 0, 6, 0);
  row->setSpacing(6);
  row->addWidget(img);
  row->addWidget(caption);
  row->addStretch(1);

  button->setEnabled(action->isEnabled());
  QObject::connect(action, &QAction::enabledChanged, button, &QWidget::setEnabled);
  QObject::connect(button, &QToolButton::clicked, action,
                   host::guarded([action] { action->trigger(); }));
  return button;
}

TClickableImage::TClickableImage(QWidget* parent) : QLabel(parent) {}

void TClickableImage::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
  event->accept();
}

void TClickableImage::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  event->accept();
  if (click) emit Click();
}

namespace {

QPixmap drawAdvert() {
  const int w = 209, h = 385;
  QPixmap pixmap(w, h);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QLinearGradient sky(0, 0, 0, h);
  sky.setColorAt(0, QColor(0x1f, 0x5f, 0xa8));
  sky.setColorAt(1, QColor(0x5d, 0x9d, 0xe3));
  p.fillRect(pixmap.rect(), sky);

  // A cloud over a little shop front.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 235));
  QPainterPath cloud;
  cloud.setFillRule(Qt::WindingFill);  // overlapping puffs make one cloud, not holes
  cloud.addEllipse(QRectF(44, 38, 56, 44));
  cloud.addEllipse(QRectF(82, 24, 66, 58));
  cloud.addEllipse(QRectF(128, 44, 44, 38));
  cloud.addRoundedRect(QRectF(56, 58, 104, 26), 12, 12);
  p.drawPath(cloud.simplified());
  p.setBrush(QColor(0xf2, 0xa1, 0x3b));
  p.drawRect(QRectF(74, 100, 62, 10));
  p.setBrush(QColor(255, 255, 255, 210));
  p.drawRect(QRectF(78, 110, 54, 34));
  p.setBrush(QColor(0x1f, 0x5f, 0xa8));
  p.drawRect(QRectF(98, 122, 14, 22));

  auto text = [&](int top, int height, int pixelSize, bool bold, const QString& s,
                  const QColor& color = Qt::white) {
    QFont f = p.font();
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    p.setFont(f);
    p.setPen(color);
    p.drawText(QRect(0, top, w, height), Qt::AlignHCenter | Qt::AlignVCenter, s);
  };
  text(160, 34, 24, true, QStringLiteral("云端记账"));
  text(196, 22, 14, false, QStringLiteral("小店进销存 一站搞定"));
  text(236, 20, 13, false, QStringLiteral("进货 · 销售 · 库存"));
  text(258, 20, 13, false, QStringLiteral("应收应付 一目了然"));
  text(280, 20, 13, false, QStringLiteral("数据云端保存 随时随地"));

  QRectF button(44, 322, 121, 34);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawRoundedRect(button, 17, 17);
  QFont f = p.font();
  f.setPixelSize(14);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(0x1f, 0x5f, 0xa8));
  p.drawText(button, Qt::AlignCenter, QStringLiteral("访问官网 ›"));
  return pixmap;
}

}  // namespace

QPixmap AdvertPixmap() {
  // Every window shows the same picture: drawn once, not for each window that opens.
  static const QString key = QStringLiteral("vlt-advert");
  QPixmap pixmap;
  if (!QPixmapCache::find(key, &pixmap)) {
    pixmap = drawAdvert();
    QPixmapCache::insert(key, pixmap);
  }
  return pixmap;
}

void RunEditDialog(std::unique_ptr<host::TForm> dialog, const QString& mode,
                   const std::function<void()>& reload) {
  dialog->TagString = mode;
  try {
    host::ShowModal(*dialog);
  } catch (...) {
    dialog.reset();
    reload();
    throw;
  }
  dialog.reset();
  reload();
}

}  // namespace vlt::templates
