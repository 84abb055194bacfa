#include "uUpdateApp.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

using namespace vlt::host;

VLT_REGISTER_CLASS(uUpdateApp, TfrmUpdateApp);

TfrmUpdateApp::TfrmUpdateApp(QWidget* owner) : TForm(owner) {
  setObjectName("frmUpdateApp");
  setWindowTitle(QStringLiteral("版本更新提示："));
  // Fixed size, title bar with the system menu and its close button only.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(440, 170);

  imgError = new QLabel(this);
  imgError->setObjectName("imgError");
  const int iconSize = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
  imgError->setPixmap(style()
                          ->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this)
                          .pixmap(iconSize, iconSize));
  imgError->setAlignment(Qt::AlignTop);
  lblInfo = new QLabel(QStringLiteral("您需要升级程序后继续使用，请下载最新版安装使用！"), this);
  lblInfo->setObjectName("lblInfo");
  lblInfo->setWordWrap(true);
  lblClientVer = new QLabel(this);
  lblClientVer->setObjectName("lblClientVer");
  lblClientVer->setProperty("vltRole", "hint");
  btnDownLoad = new QPushButton(QStringLiteral("下载最新版"), this);
  btnDownLoad->setObjectName("btnDownLoad");
  btnDownLoad->setDefault(true);
  btnClose = new QPushButton(QStringLiteral("关闭"), this);
  btnClose->setObjectName("btnClose");

  auto* texts = new QVBoxLayout;
  texts->setSpacing(10);
  texts->addWidget(lblInfo);
  texts->addWidget(lblClientVer);
  texts->addStretch();
  auto* message = new QHBoxLayout;
  message->setSpacing(16);
  message->addWidget(imgError);
  message->addLayout(texts, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(btnDownLoad);
  buttons->addWidget(btnClose);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(20, 20, 20, 16);
  root->addLayout(message, 1);
  root->addLayout(buttons);

  connect(btnDownLoad, &QPushButton::clicked, this, guarded([this] { btnDownLoadClick(); }));
  connect(btnClose, &QPushButton::clicked, this, guarded([this] { btnCloseClick(); }));
}

void TfrmUpdateApp::FormShow() {
  lblClientVer->setText(QStringLiteral("您当前客户端版本为 ：Ver 303.190.20140120.2201"));
}

void TfrmUpdateApp::btnDownLoadClick() {
  ShellOpen(TagString, false);
  close();
}

void TfrmUpdateApp::btnCloseClick() {
  close();
}
