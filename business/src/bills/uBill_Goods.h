#pragma once
// The eight goods bills: purchase order, purchase, purchase return, sales order, sale, sales
// return, stock in and stock out. They differ only in what TGoodsBillKind says: the table and
// code prefix, the trader's side, whether a store and a stock option come with the bill, the
// source bills it may take lines from, which later bills may refer to it, and whether it is
// marked finished after a save. Stock, balances and the source lines' done quantities follow
// from the saved bills in the account set.

#include <QString>
#include <string>
#include <vector>

#include "uBaseBill_MasterAndDetail.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

namespace vlt::templates {
class TNumberBox;
class TDateBox;
}  // namespace vlt::templates

namespace vlt::business {

struct TGoodsBillKind {
  enum Side { Purchase, Sales, Stock };
  const char* caption;  // "采购收货单"
  const char* table;    // "tb_pur_purchase"
  const char* prefix;   // "PC"
  Side side;
  const char* stockOption;   // "自动入库"; null: the bill has no store of its own choice
  bool takesOut;             // saving it (with its stock option) takes goods out of the store
  const char* pauseHeader;   // header of the pause column; null: none shown
  const char* doneHeader;    // header of the done column; null: none
  const char* sourceDialog;  // unit-qualified class of the source dialog; null: none
  const char* direction;     // what a stock bill tells its source dialog (",in")
  bool checksReferences;     // saving is refused once a later bill refers to it
  bool finishes;             // marked finished after a save when no line is open
  std::vector<const char*> referencedBy;  // bill tables whose lines (or rows) may refer to it
};

// The statement that finds one later bill referring to `bid` (none for an empty list).
std::string ReferenceSql(const TGoodsBillKind& kind, const std::string& bid);

class TGoodsBill : public TfrmBaseBill_MasterAndDetail {
  Q_OBJECT
 public:
  TGoodsBill(QWidget* owner, const TGoodsBillKind& kind);
  ~TGoodsBill() override;

  QAction* actSelectTrader;
  QAction* actSelectAccount;
  QAction* actSelectStore;
  QLineEdit* edttrader = nullptr;
  vlt::templates::TDateBox* edtRevdate = nullptr;
  QComboBox* cbbNoteType = nullptr;
  vlt::templates::TNumberBox* edtTaxRate = nullptr;
  QCheckBox* chkIsPay = nullptr;
  QLineEdit* edtAccount = nullptr;
  vlt::templates::TNumberBox* edtAccAmt = nullptr;
  QCheckBox* chkIsStoreIO = nullptr;
  QLineEdit* edtStore = nullptr;
  // The captions EnableChoices greys with their boxes (looked up once, not at every bill shown).
  QLabel* lblAccount_ = nullptr;
  QLabel* lblAccAmt_ = nullptr;
  QLabel* lblStore_ = nullptr;
  QPlainTextEdit* mmoRevMemo = nullptr;

  void FormCreate() override;
  void actSelectTraderExecute();
  void actSelectAccountExecute();
  void actSelectStoreExecute();
  void GrdDetailDblClick(int column, int row) override;
  const TGoodsBillKind& Kind() const { return kind_; }

 protected:
  void actCheckDataExecute() override;
  void actSelectBillExecute() override;
  void doAfterSave() override;
  void BillShown() override;
  void BillDefaults() override;
  bool BillIsReferenced() override;
  std::string StoreTakenFrom() override;
  QStringList PrintHeadLines() override;

 private:
  bool trade() const { return kind_.side != TGoodsBillKind::Stock; }
  // Whether a flag of the bill ("True"/"False") is set.
  bool Flag(const char* field);
  // Writes the number boxes into the bill (after checking them).
  void PutNumbersIntoRow();
  void EnableChoices();
  std::vector<vlt::components::TColumnDef> LineColumns() const;

  const TGoodsBillKind& kind_;
  bool showing_ = false;
};

}  // namespace vlt::business

class TfrmBill_Pur_Order : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Pur_Order(QWidget* owner = nullptr);
};
class TfrmBill_Pur_Purchase : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Pur_Purchase(QWidget* owner = nullptr);
};
class TfrmBill_Pur_Back : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Pur_Back(QWidget* owner = nullptr);
};
class TfrmBill_Sal_Order : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Sal_Order(QWidget* owner = nullptr);
};
class TfrmBill_Sal_Sale : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Sal_Sale(QWidget* owner = nullptr);
};
class TfrmBill_Sal_Back : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Sal_Back(QWidget* owner = nullptr);
};
class TfrmBill_Sto_StoreIN : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Sto_StoreIN(QWidget* owner = nullptr);
};
class TfrmBill_Sto_StoreOut : public vlt::business::TGoodsBill {
  Q_OBJECT
 public:
  explicit TfrmBill_Sto_StoreOut(QWidget* owner = nullptr);
};
