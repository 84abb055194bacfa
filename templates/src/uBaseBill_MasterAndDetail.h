#pragma once
// TfrmBaseBill_MasterAndDetail: a goods bill, one header row (cdsMaster) with its lines
// (cdsDetail, nested in the header row so that one delta saves the whole bill). The window holds
// one page of at most 20 stored bills, newest code first, and fetches the neighbouring page when
// the user pages past an end.
//
// How a descendant uses it:
// - In the constructor fill MasterFields and DetailFields (the columns of the header and of a
//   line; the template adds the nested field, named after the line table, and the aggregates
//   TotalQty and TotalAmount), and build its boxes into lytBillMasterArea.
// - In FormCreate() set the caption, MasterTableName, DetailTableName, prefix, MasterDataSql and
//   DetailDataSql (no where clause), call the inherited FormCreate(), then bind its boxes and the
//   line grid (GrdDetail->Bind(&cdsDetail, columns)).
// - Override actCheckDataExecute() with the bill's checks and actSelectBillExecute() to take
//   lines from source bills; extend doAfterSave() for follow-up work after a save.
//
// Quantities, prices and amounts are exact decimals throughout.

#include <QString>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "uBaseBill_Master.h"
#include "uBaseFormEx.h"
#include "vlt/components.h"
#include "vlt/dataset.h"
#include "vlt/printing.h"
#include "vlt/status.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace vlt::templates {
class TDateBox;
}  // namespace vlt::templates

class TfrmBaseBill_MasterAndDetail : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TfrmBaseBill_MasterAndDetail(QWidget* owner = nullptr);
  ~TfrmBaseBill_MasterAndDetail() override;

  // Bills per page.
  static constexpr int kPageSize = 20;

  QToolButton* btnPrior;
  QToolButton* btnNext;
  QToolButton* btnDel;
  QToolButton* btnSelectGoods;
  QToolButton* btnSelectBill;
  QToolButton* btnPreview;
  QToolButton* btnPrint;
  QAction* actSaveAndNew;     // "保存新增" Ctrl+Enter
  QAction* actSaveAndClose;   // "保存退出" Ctrl+Q
  QAction* actPrior;          // "前单" Page Up
  QAction* actNext;           // "后单" Page Down
  QAction* actDelBill;        // "删除" Ctrl+D
  QAction* actSelectGoods;    // "选择货品" Ctrl+G
  QAction* actCheckData;      // the descendant's checks
  QAction* actSelectBill;     // "选择单据" Ctrl+B
  QAction* actDelDetailItem;  // "删除明细"
  QAction* actNewDetailItem;  // "新增明细" Insert: an empty line to type a code or scan into
  QAction* actPreview;        // "预览" Ctrl+W
  QAction* actPrint;          // "打印" Ctrl+P
  QAction* actExportPdf;      // "导出PDF"
  QMenu* pmDetail;

  QWidget* lytBillBottom;
  QLineEdit* edtCreateOp;
  QLineEdit* edtCreateTime;
  QLineEdit* edtUpdateOp;
  QLineEdit* edtUpdateTime;
  QFrame* pnlBill;
  QWidget* lytBillHeader;
  QLabel* lblBillName;
  QLabel* lblBillDate;
  vlt::templates::TDateBox* edtBdate;
  QLabel* lblBillcode;
  QLineEdit* edtBcode;
  QWidget* lytBillMasterArea;  // the descendant's boxes
  vlt::components::TNxStringGrid* GrdDetail;
  QWidget* lytTotal;
  QLineEdit* edtTotalQty;
  QLineEdit* edtTotalAmount;
  QWidget* lytBillfooter;
  QLabel* lblRemark;
  QPlainTextEdit* mmoReMark;
  QPushButton* btnSaveAndNew;
  QPushButton* btnSaveAndClose;

  vlt::ClientDataSet cdsMaster;
  vlt::ClientDataSet cdsDetail;

  void FormCreate() override;
  void FormClose() override;

  void actSaveAndNewExecute();
  void actSaveAndCloseExecute();
  void actPriorExecute();
  void actNextExecute();
  void actDelBillExecute();
  void actDelDetailItemExecute();
  void actNewDetailItemExecute();
  void actSelectGoodsExecute();
  // The save sequence: checks, code, done quantities, one delta, doAfterSave.
  void CdsMasterApplyUpdate();
  void cdsMasterNewRecord();
  void cdsDetailNewRecord();
  void edtBdateExit();
  // The amount of the current line: qty * price * (1 + taxrate / 100), exact, kept at the
  // column's two decimals (half away from zero). Leaves the line in edit.
  void CalcAmount(vlt::ClientDataSet& dataSet);
  // Copies the header's tax rate into every line and recomputes their amounts.
  void UpdateDetailTaxRate();
  void GrdDetailEditingDone(int column, int row);
  // A goods code or barcode typed (or scanned) into the code cell of a line.
  void GrdDetailCodeEntered(int row, const QString& text);
  virtual void GrdDetailDblClick(int column, int row);
  // The bill as a printed page: title, date and code with the bill's own header lines, every
  // line as the grid shows it, the totals, the remark and who made and changed it.
  vlt::components::TPrintDoc BillPrintDoc();
  // Lines from the goods hand-over set (the goods selection dialog).
  void SetDetailGoods();
  // Lines from the source-line hand-over set (the bill-selection dialogs).
  void SetMasterAndDetailDataWithGoods();
  // The largest line number in the data set, 0 when empty.
  static int GetDeltailMaxBno(vlt::ClientDataSet& dataSet);
  // Loads one page; false when no bill came (the page shown stays).
  bool GetMasterData(const std::string& whereAndOrder);
  // Loads one page and shows its first bill, or its last with `last`; false as GetMasterData.
  bool LoadPage(const std::string& masterSql, bool last);

  // "Append" while a new bill is entered, "Edit" while a stored bill is shown.
  const std::string& OperateState() const { return FOperateState; }
  // The source-line hand-over set, opened with its columns when nobody opened it before.
  static vlt::ClientDataSet& SelectBillD();
  // Whether the bill is one of the six with a trader, prices and a tax rate.
  bool IsTradeBill() const;

  // Stops the save with "【caption】值为空..." when the field of the current row is null/blank.
  static void CheckFieldIsNotNull(vlt::ClientDataSet& dataSet, const std::string& field,
                                  const QString& caption);
  // The same for every row, field by field in order.
  static void CheckFieldIsNotNull(vlt::ClientDataSet& dataSet,
                                  const std::vector<std::string>& fields,
                                  const QStringList& captions);
  // "是" / "否" for a flag text.
  static QString UpdateBoolToCN(const vlt::Value& value);

 protected:
  virtual void actCheckDataExecute() {}
  virtual void actSelectBillExecute() {}
  virtual void doAfterSave() {}
  // The bill's own defaults of a new bill, after the template's (id, date, code, creator).
  virtual void BillDefaults() {}
  // The current bill changed or another one is shown.
  virtual void BillShown() {}
  // Whether a later bill refers to the current one (deleting it is refused); the window's own
  // statement, false when nothing can refer to this kind of bill.
  virtual bool BillIsReferenced() { return false; }
  // The header fields a printed bill shows under its date and code ("供货商：东方商行").
  virtual QStringList PrintHeadLines() { return {}; }
  // The store the bill takes goods out of, empty when it takes none out (then no stock check).
  virtual std::string StoreTakenFrom() { return std::string(); }
  // Keeps a line edit, memo or label on a field of the current bill.
  void BindData(QWidget* control, const QString& field);
  // Runs a select on the account set.
  static vlt::Packet Select(const std::string& sql);
  // Stops the save or delete: the bill is referenced.
  [[noreturn]] static void RefuseReferenced();

  // Switches the line grid's link off for a bulk change, and on again afterwards.
  template <class F>
  void WithGridOff(F f) {
    GrdDetail->Link().SetActive(false);
    try {
      f();
    } catch (...) {
      GrdDetail->Link().SetActive(true);
      throw;
    }
    GrdDetail->Link().SetActive(true);
  }

  vlt::FieldDefs MasterFields;  // the header's columns (without the nested lines)
  vlt::FieldDefs DetailFields;  // a line's columns
  std::string MasterTableName;
  std::string DetailTableName;
  std::string prefix;
  std::string MasterDataSql;
  std::string DetailDataSql;
  bool FBillNeedGoods = true;
  bool FBcodeIsModifyed = false;
  std::unique_ptr<vlt::components::TBindingList> FBndLst;

 private:
  class Watcher;
  void AppendBill();
  // Lets the cursor leave the current bill: an untouched new bill goes without a word; a changed
  // one only when the user agrees to drop the changes.
  void LeaveBill();
  bool BillChanged();
  vlt::templates::TBillHeader Header();
  void doUpdateDoneQtyByAutoStoreIO();
  // Asks before a save that would leave goods below zero in the store.
  void CheckNegativeStock();
  void ShowTotals();
  void AddGoodsLine(const vlt::Value& goodsId, const vlt::Value& code, const vlt::Value& name,
                    const vlt::Value& spec, const vlt::Value& unitId, const vlt::Value& purPrice,
                    const vlt::Value& salPrice);

  std::string FOperateState = "Append";
  int FDetailMaxBno = 0;
  std::vector<vlt::Value> newBillDefaults_;
  std::unique_ptr<Watcher> watcher_;
};
