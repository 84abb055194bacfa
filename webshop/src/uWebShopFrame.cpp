#include "uWebShopFrame.h"

#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

using namespace vlt::host;

VLT_REGISTER_CLASS(uWebShopFrame, TfrmWebShopping);

TfrmWebShopping::TfrmWebShopping(QWidget* owner) : QWidget(owner) {
  setObjectName("frmWebShopping");
  setWindowTitle(QStringLiteral("商城"));

  lytWebShopping = new QWidget(this);
  lytWebShopping->setObjectName("lytWebShopping");
  imgWSPng = new QLabel(lytWebShopping);
  imgWSPng->setObjectName("imgWSPng");
  imgWSPng->setPixmap(AdvertPicture());
  imgWSPng->setScaledContents(false);
  imgWSPng->setAlignment(Qt::AlignCenter);
  imgWSPng->setCursor(Qt::PointingHandCursor);
  imgWSPng->installEventFilter(this);
  auto* layout = new QVBoxLayout(lytWebShopping);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(imgWSPng);
}

void TfrmWebShopping::imgWSPngClick() {
  ShellOpen(ServiceWebAddress(QStringLiteral("shop.htm")), false);
}

bool TfrmWebShopping::eventFilter(QObject* watched, QEvent* event) {
  if (watched == imgWSPng && event->type() == QEvent::MouseButtonRelease) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::LeftButton && imgWSPng->rect().contains(mouse->position().toPoint()))
      guarded([this] { imgWSPngClick(); })();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

QPixmap TfrmWebShopping::AdvertPicture() {
  const QSize size(210, 300);
  QPixmap picture(size);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);

  QPainterPath card;
  card.addRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 10, 10);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0.0, QColor("#eaf3fc"));
  fill.setColorAt(1.0, QColor("#ffffff"));
  p.fillPath(card, fill);
  p.setPen(QColor("#c9d9ea"));
  p.drawPath(card);

  // A shopping bag.
  const QRectF bag(size.width() / 2.0 - 38, 46, 76, 70);
  p.setPen(QPen(QColor("#2b7bd6"), 4, Qt::SolidLine, Qt::RoundCap));
  p.setBrush(Qt::NoBrush);
  p.drawArc(QRectF(bag.center().x() - 20, bag.top() - 22, 40, 44), 0, 180 * 16);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor("#2b7bd6"));
  p.drawRoundedRect(bag, 8, 8);
  p.setBrush(QColor(255, 255, 255, 70));
  p.drawRoundedRect(bag.adjusted(8, 8, -8, -bag.height() + 18), 4, 4);

  QFont title = p.font();
  title.setPixelSize(26);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor("#1f4f86"));
  p.drawText(QRectF(0, 138, size.width(), 40), Qt::AlignCenter, QStringLiteral("NXQ商城"));

  QFont line = p.font();
  line.setPixelSize(13);
  line.setBold(false);
  p.setFont(line);
  p.setPen(QColor("#5b6773"));
  p.drawText(QRectF(0, 182, size.width(), 22), Qt::AlignCenter, QStringLiteral("点击进入商城"));

  // A quiet call-to-action strip.
  const QRectF strip(size.width() / 2.0 - 56, 226, 112, 34);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor("#2b7bd6"));
  p.drawRoundedRect(strip, 17, 17);
  p.setPen(Qt::white);
  p.drawText(strip, Qt::AlignCenter, QStringLiteral("去逛逛"));
  return picture;
}
