#pragma once
// TfrmBaseBill_Master: a bill that is one row and has no lines (a receipt, a payment). It loads
// every stored bill of its table, starts on a new one and saves one bill row at a time by its
// key "bid" as a delta.
//
// How a descendant uses it:
// - In the constructor define the columns of cdsMaster (the template's own: Bid, BDate, BCode,
//   ReMark, CreateOp, CreateTime, UpdateOP, UpdateTime; then the descendant's) and build its
//   boxes into lytBillMasterArea (vlt::templates::TFormRows).
// - In FormCreate() set the caption, MasterTableName, prefix and MasterDataSql, call the
//   inherited FormCreate() (which loads the bills and starts a new one), then bind the boxes:
//   BindData() for text, memos and labels, BindNumber() for amounts.
// - Override actCheckDataExecute() with the bill's checks (CheckFieldIsNotNull(), ...); every
//   save runs it after the number boxes were checked and written into the row.
// - Override BillShown() to show what follows the current row outside the bindings.
//
// A bill is new while cdsMaster is inserting. Moving to another bill while the current one has
// changes nobody saved is refused, so that no change is lost or sent along with another bill.

#include <QString>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "uBaseFormEx.h"
#include "vlt/components.h"
#include "vlt/dataset.h"
#include "vlt/status.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QToolButton;

namespace vlt::templates {
class TNumberBox;
class TDateBox;
}  // namespace vlt::templates

namespace vlt::templates {

// Who made and changed a record, and when: four read-only, disabled boxes with their captions in
// one line (`row`, named "lytBillBottom"), the captions followed by `captionEnd` ("：").
struct TBillFooter {
  QWidget* row;
  QLineEdit* createOp;
  QLineEdit* createTime;
  QLineEdit* updateOp;
  QLineEdit* updateTime;
};
TBillFooter MakeBillFooter(QWidget* parent, const QString& captionEnd);

// What every bill window does with the header row of a bill (`bill`, its fields Bid, BDate,
// BCode, CreateOp, CreateTime, UpdateOP, UpdateTime), whatever its lines.
struct TBillHeader {
  vlt::ClientDataSet& bill;
  std::string prefix;  // code prefix handed to the service
  std::string table;   // the bill table

  // The code the service gives a bill of this kind on the date (ISO).
  std::string NewCode(const std::string& billDate) const;
  // A new bill: a new id, today, the code of today, the creator and the time.
  void Defaults() const;
  // The date box was left: a new date takes a code of that date. Shows a bad date's problem,
  // focuses the box and aborts. Returns whether the date changed.
  bool TakeDate(TDateBox& box) const;
  // Before a save: the code the service gives now (another user may have taken the one shown).
  void RenewCode() const;
  // After a new bill or a new date was saved: the code the bill was stored under, shown without
  // a pending change (the service stores the next free code of the day when another clerk
  // saved the shown one first).
  void TakeStoredCode() const;
  // Who changed the bill and when, before it is posted.
  void Stamp() const;
};

// Keeps a line edit, memo or label on a field of the bills' binding list.
void BindBillControl(vlt::components::TBindingList& list, QWidget* control, const QString& field);

}  // namespace vlt::templates

class TfrmBaseBill_Master : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmBaseBill_Master(QWidget* owner = nullptr);
  ~TfrmBaseBill_Master() override;

  QToolButton* btnPrior;
  QToolButton* btnNext;
  QToolButton* btnDel;
  QToolButton* btnSaveAndNew;
  QToolButton* btnSaveAndClose;
  QAction* actSaveAndNew;    // "保存新增"
  QAction* actSaveAndClose;  // "保存退出"
  QAction* actDelBill;       // "删除"
  QAction* actCheckData;     // the descendant's checks
  QAction* actPrior;         // "前单"
  QAction* actnext;          // "后单"
  QAction* actCdsRefresh;

  QWidget* lytBillBottom;
  QLineEdit* edtCreateOp;
  QLineEdit* edtCreateTime;
  QLineEdit* edtUpdateOp;
  QLineEdit* edtUpdateTime;
  QFrame* pnlBillMain;
  QWidget* lytBillHeader;
  QLabel* lblBillName;
  QLabel* lblBillDate;
  vlt::templates::TDateBox* edtBdate;
  QLabel* lblBillcode;
  QLineEdit* edtBcode;
  QWidget* lytBillMasterArea;  // the descendant's boxes
  QWidget* lytMain;
  QLabel* lblRemark;
  QPlainTextEdit* mmoReMark;

  vlt::ClientDataSet cdsMaster;

  void FormCreate() override;
  void FormClose() override;

  void actCdsRefreshExecute();
  void actPriorExecute();
  void actnextExecute();
  void actDelBillExecute();
  void actSaveAndNewExecute();
  void actSaveAndCloseExecute();
  void CdsMasterApplyUpdate();
  void cdsMasterNewRecord();
  // The date box was left: a new date gets the bill a code of that date.
  void edtBdateExit();

  // Keeps a line edit, memo or label on a field of the current bill.
  void BindData(QWidget* control, const QString& field);
  // Keeps an amount box on a decimal field: empty is null; what is typed goes into the row
  // only once it is a valid number (when the box is left, and before every save or move).
  void BindNumber(vlt::templates::TNumberBox* box, const std::string& field);
  // Stops the save with "【caption】值为空..." when the field is null or blank.
  static void CheckFieldIsNotNull(vlt::ClientDataSet& dataSet, const std::string& field,
                                  const QString& caption);
  // An amount as a bill shows it, with two decimals; empty for null.
  static QString MoneyText(const vlt::Field& field);
  // Stops the save when the memo holds more characters than its column keeps.
  static void CheckTextLength(const QPlainTextEdit& memo, const QString& caption, int maxLength);

 protected:
  virtual void actCheckDataExecute() {}
  // The current bill changed or another one is shown.
  virtual void BillShown() {}

  std::string MasterTableName;
  std::string DetailTableName;  // not read
  std::string prefix;           // bill-code prefix ("BG")
  std::string MasterDataSql;    // loads every bill of the table
  std::string DetailDataSql;    // not read
  bool FBcodeIsModifyed = false;
  std::unique_ptr<vlt::components::TBindingList> FBndLst;

  // What the save and delete refusals start with.
  vlt::host::TStatusTexts StatusTexts() const;

 private:
  class RowWatcher;
  // Checks the number boxes and writes them into the row (aborts on a bad one, box focused).
  void PutBoxesIntoRow();
  // Shows the row's value in the number and date boxes (`field` < 0: all of them).
  void ShowBoxes(int field);
  // Lets the cursor leave the current bill: an untouched new bill is dropped, a changed one
  // that was not saved stops the move.
  void LeaveBill();
  bool NewBillUntouched();
  void AppendBill();
  vlt::templates::TBillHeader Header();

  std::vector<std::pair<vlt::templates::TNumberBox*, std::string>> numbers_;
  std::vector<vlt::Value> newBillDefaults_;
  std::unique_ptr<RowWatcher> watcher_;
  bool showing_ = false;
};
