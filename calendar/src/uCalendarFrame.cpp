#include "uCalendarFrame.h"

#include <QLabel>
#include <QVBoxLayout>

VLT_REGISTER_CLASS(uCalendarFrame, TfrmCalendarFrame);

TfrmCalendarFrame::TfrmCalendarFrame(QWidget* owner) : QWidget(owner) {
  setObjectName("frmCalendarFrame");
  setWindowTitle(QStringLiteral("日程"));

  lytCalendar = new QWidget(this);
  lytCalendar->setObjectName("lytCalendar");
  lblCaption = new QLabel(QStringLiteral("日程"), lytCalendar);
  lblCaption->setObjectName("lblCaption");
  lblCaption->setAlignment(Qt::AlignCenter);
  QFont captionFont = lblCaption->font();
  captionFont.setPointSizeF(captionFont.pointSizeF() * 1.6);
  captionFont.setBold(true);
  lblCaption->setFont(captionFont);
  lblComing = new QLabel(QStringLiteral("该功能将在后续版本提供"), lytCalendar);
  lblComing->setObjectName("lblComing");
  lblComing->setAlignment(Qt::AlignCenter);
  lblComing->setWordWrap(true);
  lblComing->setStyleSheet("color: #5b6773;");
  auto* layout = new QVBoxLayout(lytCalendar);
  layout->setContentsMargins(12, 24, 12, 24);
  layout->setSpacing(8);
  layout->addStretch(1);
  layout->addWidget(lblCaption);
  layout->addWidget(lblComing);
  layout->addStretch(2);
}
