#pragma once
// The person-card page of the main window: the entry lists of the four kinds, the three
// category lists, the flow report and the monthly overview, one button each.

#include <QString>
#include <QWidget>
#include <vector>

#include "vlt/host.h"

class QAction;
class QToolButton;

// One button of the page: the window it opens ("unit.Class" of this package) with its TagString,
// and whether the frame owns the window (else the application does).
struct TPersionCardFunction {
  const char* name;  // action or button name
  const char* text;
  const char* className;
  const char* tagString;
  bool ownedByFrame;
};

// The functions in the order of the page, top to bottom.
const std::vector<TPersionCardFunction>& PersionCardFunctions();

class TfrmPersionCardframe : public QWidget, public vlt::host::IPluginFrame {
  Q_OBJECT
 public:
  explicit TfrmPersionCardframe(QWidget* owner = nullptr);

  QWidget* GetBaseControl() override { return lytPersionCard; }

  QWidget* lytPersionCard;
  QWidget* grpEntries;
  QWidget* grpTypes;
  QAction* actPC_Out;
  QAction* actPC_IN;
  QAction* actPC_CardOut;
  QAction* actPC_CardIN;
  QAction* actPC_IOType_IN;
  QAction* actPC_IOType_Out;
  QAction* actPC_IOType_Card;
  QToolButton* btnRptTimeList;
  QToolButton* btnMonthSummary;

  void actPC_OutExecute();
  void actPC_INExecute();
  void actPC_CardOutExecute();
  void actPC_CardINExecute();
  void actPC_IOType_INExecute();
  void actPC_IOType_OutExecute();
  void actPC_IOType_CardExecute();
  void btnRptTimeListClick();
  void btnMonthSummaryClick();

  // Opens the function's window modelessly; a failure to create it is shown as its message.
  void RunFunction(const TPersionCardFunction& function);

 private:
  QAction* action(const char* name);
};
