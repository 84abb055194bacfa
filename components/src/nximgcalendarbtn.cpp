// The calendar button: a small calendar picture that pops up a month calendar.

#include <QCalendarWidget>
#include <QFrame>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPixmapCache>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "vlt/components.h"
#include "vlt/host.h"

namespace vlt::components {

namespace {

// A calendar leaf: a red binding strip over a white page with a grid of days.
QIcon drawnCalendarIcon() {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setPen(QColor(90, 90, 90));
  p.setBrush(Qt::white);
  p.drawRect(1, 2, 13, 12);
  p.fillRect(2, 3, 12, 3, QColor(200, 50, 50));
  p.setPen(QColor(120, 120, 120));
  for (int y = 8; y <= 12; y += 2)
    for (int x = 3; x <= 12; x += 3)
      p.drawPoint(x, y);
  p.setPen(QColor(60, 60, 60));
  p.drawLine(4, 1, 4, 3);
  p.drawLine(11, 1, 11, 3);
  return QIcon(pixmap);
}

}  // namespace

namespace {
// The theme's calendar icon, else the drawn leaf: looked up and drawn once for every date box.
QIcon calendarIcon() {
  static const QString key = QStringLiteral("vlt-calendar-leaf");
  QPixmap leaf;
  if (!QPixmapCache::find(key, &leaf)) {
    leaf = drawnCalendarIcon().pixmap(16, 16);
    QPixmapCache::insert(key, leaf);
  }
  return QIcon::fromTheme(QStringLiteral("x-office-calendar"), QIcon(leaf));
}
}  // namespace

TNxImgCalendarBtn::TNxImgCalendarBtn(QWidget* parent) : QToolButton(parent) {
  setIcon(calendarIcon());
  setIconSize(QSize(16, 16));
  setAutoRaise(true);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QToolButton::clicked, this, host::guarded([this] { Popup(); }));
}

void TNxImgCalendarBtn::SetDate(const QDate& date) {
  date_ = date;
  if (popup_ && date.isValid())
    if (auto* calendar = popup_->findChild<QCalendarWidget*>()) calendar->setSelectedDate(date);
}

void TNxImgCalendarBtn::Popup() {
  if (popup_) popup_->close();
  auto* frame = new QFrame(this, Qt::Popup);
  frame->setObjectName(QStringLiteral("calendarPopup"));
  frame->setAttribute(Qt::WA_DeleteOnClose);
  frame->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(1, 1, 1, 1);
  auto* calendar = new QCalendarWidget(frame);
  calendar->setObjectName(QStringLiteral("calendar"));
  calendar->setGridVisible(true);
  calendar->setSelectedDate(date_.isValid() ? date_ : QDate::currentDate());
  layout->addWidget(calendar);
  // A click on a day or Enter on the selected one chooses it; moving with the arrows does not.
  connect(calendar, &QCalendarWidget::clicked, this,
          host::guarded([this](const QDate& d) { choose(d); }));
  connect(calendar, &QCalendarWidget::activated, this,
          host::guarded([this](const QDate& d) { choose(d); }));
  popup_ = frame;

  frame->adjustSize();
  QPoint at = mapToGlobal(QPoint(0, height()));
  if (QScreen* s = screen()) {
    const QRect area = s->availableGeometry();
    if (at.x() + frame->width() > area.right()) at.setX(area.right() - frame->width());
    if (at.y() + frame->height() > area.bottom())
      at.setY(mapToGlobal(QPoint(0, 0)).y() - frame->height());
    at.setX(std::max(at.x(), area.left()));
    at.setY(std::max(at.y(), area.top()));
  }
  frame->move(at);
  frame->show();
  calendar->setFocus();
}

void TNxImgCalendarBtn::choose(const QDate& date) {
  if (!date.isValid()) return;
  date_ = date;
  if (popup_) popup_->close();
  emit ClosePopup(date);
}

}  // namespace vlt::components
