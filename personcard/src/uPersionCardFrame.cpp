#include "uPersionCardFrame.h"

#include "vlt/components.h"

VLT_REGISTER_CLASS(uPersionCardFrame, TfrmPersionCardFrame);

TfrmPersionCardFrame::TfrmPersionCardFrame(QWidget* owner) : QWidget(owner) {
  setObjectName("frmPersionCardFrame");
  setWindowTitle(QStringLiteral("理财"));

  lytPersionCard = new QWidget(this);
  lytPersionCard->setObjectName("lytPersionCard");
  const auto page = vlt::components::BuildPlaceholderPage(lytPersionCard, QStringLiteral("理财"));
  lblCaption = page.lblCaption;
  lblComing = page.lblComing;
}
