#pragma once
// The update window: this client build may no longer be used; offers the download address the
// launcher hands over in TagString.

#include "vlt/host.h"

class QLabel;
class QPushButton;

class TfrmUpdateApp : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmUpdateApp(QWidget* owner = nullptr);

  void FormShow() override;

  QLabel* imgError;
  QLabel* lblInfo;
  QLabel* lblClientVer;
  QPushButton* btnDownLoad;
  QPushButton* btnClose;

  void btnDownLoadClick();
  void btnCloseClick();
};
