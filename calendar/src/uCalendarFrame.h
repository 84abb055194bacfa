#pragma once
// The calendar page of the main window.

#include <QWidget>

#include "vlt/host.h"

class QLabel;

class TfrmCalendarFrame : public QWidget, public vlt::host::IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmCalendarFrame(QWidget* owner = nullptr);

  QWidget* GetBaseControl() override { return lytCalendar; }

  QWidget* lytCalendar;
  QLabel* lblCaption;
  QLabel* lblComing;
};
