#pragma once
// The receipt (money a client paid into one of the accounts) and the payment (money paid to a
// vendor out of an account). Each stores one bill row; the account set moves the trader's and
// the account's balances and writes their movements, so the windows compute no balance. What
// they show of it is the trader's debt at the moment the trader was chosen (NowBalance), which
// later bills of the same trader leave as it was.

#include <QString>
#include <string>
#include <vector>

#include "uBaseBill_Master.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;
class TfrmBaseDataSelectForm;

namespace vlt::business {

// What tells a receipt from a payment.
struct TBalanceBillKind {
  const char* caption;        // "收款单"
  const char* table;          // "tb_bal_gathering"
  const char* prefix;         // "BG"
  bool isReceipt;             // the trader is a client (else a vendor)
  const char* traderCaption;  // "客户"
  const char* traderCheck;    // the trader's name in the message for a missing trader
  const char* accountCaption;
  const char* amountCaption;
  const char* amountCheck;
  const char* memoCaption;
  const char* balanceNote;
};

class TBalanceBill : public TfrmBaseBill_Master {
  Q_OBJECT
 public:
  TBalanceBill(QWidget* owner, const TBalanceBillKind& kind);
  ~TBalanceBill() override;

  QAction* actSelectTrader;
  QAction* actSelectAccount;
  QLineEdit* edttrader;
  QLineEdit* edtAccount;
  vlt::templates::TNumberBox* edtAccAmt;
  vlt::templates::TNumberBox* edtTrimAmt;
  QPlainTextEdit* mmoRevMemo;
  QLabel* lblSysNote;
  QLabel* lblBalance;  // the trader's debt when chosen, large and red

  void FormCreate() override;
  void actSelectTraderExecute();
  void actSelectAccountExecute();

 protected:
  void actCheckDataExecute() override;
  void BillShown() override;

 private:
  // Shows the selection dialog below the box, handing the choice into the bill's fields.
  void Pick(TfrmBaseDataSelectForm& dialog, const QLineEdit& below,
            std::vector<std::string> fields);

  const TBalanceBillKind& kind_;
};

}  // namespace vlt::business

class TfrmBill_Bal_Gathering : public vlt::business::TBalanceBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Bal_Gathering(QWidget* owner = nullptr);
  ~TfrmBill_Bal_Gathering() override;
};

class TfrmBill_Bal_Payment : public vlt::business::TBalanceBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Bal_Payment(QWidget* owner = nullptr);
  ~TfrmBill_Bal_Payment() override;
};
