#include "uBusinessFrame.h"

#include <QLabel>
#include <QVBoxLayout>

VLT_REGISTER_CLASS(uBusinessFrame, TfrmBusiness);

TfrmBusiness::TfrmBusiness(QWidget* owner) : QWidget(owner) {
  setObjectName("frmBusiness");
  setWindowTitle(QStringLiteral("业务"));

  lytBusiness = new QWidget(this);
  lytBusiness->setObjectName("lytBusiness");
  lblCaption = new QLabel(QStringLiteral("业务"), lytBusiness);
  lblCaption->setObjectName("lblCaption");
  lblCaption->setAlignment(Qt::AlignCenter);
  QFont captionFont = lblCaption->font();
  captionFont.setPointSizeF(captionFont.pointSizeF() * 1.6);
  captionFont.setBold(true);
  lblCaption->setFont(captionFont);
  lblComing = new QLabel(QStringLiteral("该功能将在后续版本提供"), lytBusiness);
  lblComing->setObjectName("lblComing");
  lblComing->setAlignment(Qt::AlignCenter);
  lblComing->setWordWrap(true);
  lblComing->setStyleSheet("color: #5b6773;");
  auto* layout = new QVBoxLayout(lytBusiness);
  layout->setContentsMargins(12, 24, 12, 24);
  layout->setSpacing(8);
  layout->addStretch(1);
  layout->addWidget(lblCaption);
  layout->addWidget(lblComing);
  layout->addStretch(2);
}
