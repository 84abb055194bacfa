// The page the module packages show until their module is built.

#include <QLabel>
#include <QVBoxLayout>

#include "vlt/components.h"

namespace vlt::components {

PlaceholderPage BuildPlaceholderPage(QWidget* page, const QString& caption) {
  auto* lblCaption = new QLabel(caption, page);
  lblCaption->setObjectName("lblCaption");
  lblCaption->setAlignment(Qt::AlignCenter);
  QFont captionFont = lblCaption->font();
  captionFont.setPointSizeF(captionFont.pointSizeF() * 1.6);
  captionFont.setBold(true);
  lblCaption->setFont(captionFont);
  auto* lblComing = new QLabel(QStringLiteral("该功能将在后续版本提供"), page);
  lblComing->setObjectName("lblComing");
  lblComing->setAlignment(Qt::AlignCenter);
  lblComing->setWordWrap(true);
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(12, 24, 12, 24);
  layout->setSpacing(8);
  layout->addStretch(1);
  layout->addWidget(lblCaption);
  layout->addWidget(lblComing);
  layout->addStretch(2);
  return {lblCaption, lblComing};
}

}  // namespace vlt::components
