#include "uBusinessFrame.h"

#include "vlt/components.h"

VLT_REGISTER_CLASS(uBusinessFrame, TfrmBusiness);

TfrmBusiness::TfrmBusiness(QWidget* owner) : QWidget(owner) {
  setObjectName("frmBusiness");
  setWindowTitle(QStringLiteral("业务"));

  lytBusiness = new QWidget(this);
  lytBusiness->setObjectName("lytBusiness");
  const auto page = vlt::components::BuildPlaceholderPage(lytBusiness, QStringLiteral("业务"));
  lblCaption = page.lblCaption;
  lblComing = page.lblComing;
}
