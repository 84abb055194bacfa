#pragma once
// The person-card page of the main window.

#include <QWidget>

#include "vlt/host.h"

class QLabel;

class TfrmPersionCardFrame : public QWidget, public vlt::host::IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmPersionCardFrame(QWidget* owner = nullptr);

  QWidget* GetBaseControl() override { return lytPersionCard; }

  QWidget* lytPersionCard;
  QLabel* lblCaption;
  QLabel* lblComing;
};
