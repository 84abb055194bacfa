#pragma once
// The web-shop page: one picture advertising the service's shop; a click opens the shop.

#include <QWidget>

#include "vlt/host.h"

class QLabel;

class TfrmWebShopping : public QWidget, public vlt::host::IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmWebShopping(QWidget* owner = nullptr);

  QWidget* GetBaseControl() override { return lytWebShopping; }

  QWidget* lytWebShopping;
  QLabel* imgWSPng;

  void imgWSPngClick();

  // The advertising picture.
  static QPixmap AdvertPicture();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};
