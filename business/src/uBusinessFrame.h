#pragma once
// The business page of the main window.

#include <QWidget>

#include "vlt/host.h"

class QLabel;

class TfrmBusiness : public QWidget, public vlt::host::IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmBusiness(QWidget* owner = nullptr);

  QWidget* GetBaseControl() override { return lytBusiness; }

  QWidget* lytBusiness;
  QLabel* lblCaption;
  QLabel* lblComing;
};
