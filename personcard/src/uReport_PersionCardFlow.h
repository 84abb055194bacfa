#pragma once
// "理财流水表": the signed-in user's person-card entries of a date range in date order, after
// the cash balance carried in from before the range, with the running cash balance after every
// entry (exact decimals). Credit-card spending leaves the cash alone; a repayment moves it as
// income does. Runs on the system database (TagString "MainData").

#include "uBaseReportForm.h"

class TfrmRptPersionCardFlow : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  explicit TfrmRptPersionCardFlow(QWidget* owner = nullptr);
  ~TfrmRptPersionCardFlow() override;

  void FormCreate() override;

 protected:
  void SetOpenWhereStr() override;
  void doCdsEnableControls() override;
};
