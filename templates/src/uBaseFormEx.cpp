#include "uBaseFormEx.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "tplwidgets.h"

VLT_REGISTER_CLASS(uBaseFormEx, TfrmBaseFormEx);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;

namespace {

QWidget* namedArea(QWidget* parent, const char* name) {
  auto* w = new QWidget(parent);
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

}  // namespace

TfrmBaseFormEx::TfrmBaseFormEx(QWidget* owner) : TfrmBaseForm(owner) {
  resize(800, height());

  lytTop = namedArea(this, "lytTop");
  lytTop->setFixedHeight(36);
  // A plain widget paints a style-sheet background only when asked to.
  lytTop->setAttribute(Qt::WA_StyledBackground, true);
  topLayout_ = new QHBoxLayout(lytTop);
  topLayout_->setContentsMargins(4, 2, 4, 2);
  topLayout_->setSpacing(2);
  topLayout_->addStretch(1);

  lytContainer = namedArea(this, "lytContainer");
  lytMainArea = namedArea(lytContainer, "lytMainArea");
  mainAreaLayout_ = new QVBoxLayout(lytMainArea);
  mainAreaLayout_->setContentsMargins(0, 0, 0, 0);
  mainAreaLayout_->setSpacing(4);

  lytMainAd = namedArea(lytContainer, "lytMainAd");
  lytMainAd->setFixedWidth(160);
  auto* adColumn = new QVBoxLayout(lytMainAd);
  adColumn->setContentsMargins(0, 0, 0, 35);
  adColumn->addStretch(1);
  lytAD_B = namedArea(lytMainAd, "lytAD_B");
  lytAD_B->setFixedHeight(320);
  auto* adFrame = new QVBoxLayout(lytAD_B);
  adFrame->setContentsMargins(3, 3, 3, 3);
  imgAD = new TClickableImage(lytAD_B);
  imgAD->setObjectName("imgAD");
  imgAD->setPixmap(AdvertPixmap());
  imgAD->setScaledContents(true);
  imgAD->setCursor(Qt::PointingHandCursor);
  adFrame->addWidget(imgAD);
  adColumn->addWidget(lytAD_B);
  connect(imgAD, &TClickableImage::Click, this, guarded([this] { imgADClick(); }));

  auto* container = new QHBoxLayout(lytContainer);
  container->setContentsMargins(4, 4, 4, 4);
  container->setSpacing(4);
  container->addWidget(lytMainArea, 1);
  container->addWidget(lytMainAd);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);
  root->addWidget(lytTop);
  root->addWidget(lytContainer, 1);
}

TfrmBaseFormEx::~TfrmBaseFormEx() = default;

void TfrmBaseFormEx::imgADClick() {
  ShellOpen(ServiceWebAddress(""), false);
}

void TfrmBaseFormEx::AddTopWidget(QWidget* widget) {
  // Before the closing stretch, so the strip fills from the left.
  topLayout_->insertWidget(topLayout_->count() - 1, widget);
}
