#include "uCalendarFrame.h"

#include "vlt/components.h"

VLT_REGISTER_CLASS(uCalendarFrame, TfrmCalendarFrame);

TfrmCalendarFrame::TfrmCalendarFrame(QWidget* owner) : QWidget(owner) {
  setObjectName("frmCalendarFrame");
  setWindowTitle(QStringLiteral("日程"));

  lytCalendar = new QWidget(this);
  lytCalendar->setObjectName("lytCalendar");
  const auto page = vlt::components::BuildPlaceholderPage(lytCalendar, QStringLiteral("日程"));
  lblCaption = page.lblCaption;
  lblComing = page.lblComing;
}
