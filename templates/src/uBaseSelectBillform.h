#pragma once
// TFrmBaseSelectBillform: the modal dialog in which the user picks open lines of earlier bills
// (source bills) for the bill being entered. It lists the source bills of one table in a date
// range (of one trader, or of one store when Tag is 2), the open lines of the current one, and
// collects lines into the selection area, which is the source-line hand-over set
// (TfrmBaseBill_MasterAndDetail::SelectBillD()). Closed without OK it hands nothing back.
//
// A descendant sets FMasterTable, FBillKind and the caption, may change FOpenQtySql (what is
// still open on a line) and FOnlyUnfinished, binds the three grids, then calls FormCreate().

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "vlt/components.h"
#include "vlt/dataset.h"
#include "vlt/host.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace vlt::templates {
class TDateBox;
}

class TFrmBaseSelectBillform : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TFrmBaseSelectBillform(QWidget* owner = nullptr);
  ~TFrmBaseSelectBillform() override;

  QWidget* layTop;
  QComboBox* cbbDatefitler;
  vlt::templates::TDateBox* edtStartDate;
  vlt::templates::TDateBox* edtEndDate;
  QCheckBox* chkOtherFilter;
  QPushButton* btnSearch;
  QWidget* lytOtherFilter;
  QRadioButton* rbGCode;
  QRadioButton* rbGname;
  QRadioButton* rbGSpec;
  QLineEdit* edtOtherFilter;
  vlt::components::TNxStringGrid* grdMaster;
  vlt::components::TNxStringGrid* grdmain;
  vlt::components::TNxStringGrid* grdSlt;
  QLabel* lblError;
  QPushButton* btnAdd;
  QPushButton* btnDel;
  QPushButton* btnClearSelect;
  QPushButton* btnOk;
  QAction* actSelectClick;   // "添加到已选区"
  QAction* actClearSltArea;  // "清空选区"
  QAction* actDeleteSelect;  // "从选区删除"
  QAction* actSearch;        // "查询"

  vlt::ClientDataSet cdsMaster;
  vlt::ClientDataSet cdsDetail;

  std::string FMasterTable;
  std::string TraderID;
  std::string StoreID;

  void FormCreate() override;
  void FormShow() override;
  void cbbDatefitlerChange();
  void actSearchExecute();
  void actSelectClickExecute();
  void actDeleteSelectExecute();
  void actClearSltAreaExecute();
  void btnOkClick();
  void grdmainMouseUp(int column);
  void grdmainDblClick();
  void grdSltMouseUp(int column);
  void OpenData();
  std::string GetDateArea() const;
  // The statements OpenData sends.
  std::string MasterStatement() const;
  std::string DetailStatement() const;
  bool SelectOK() const { return FSelectOK; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  // The detail columns between the goods and the remark (quantities, prices).
  std::vector<vlt::components::TColumnDef> DetailColumns() const;

  std::string FBillKind;
  // What is still open on a source line ("d." is the line); the dialog shows and proposes it.
  std::string FOpenQtySql = "IFNULL(d.qty,0)-IFNULL(d.doneqty,0)";
  bool FOnlyUnfinished = true;  // finished source bills are not listed
  bool FPriced = true;          // the lines show prices and amounts
  QString FDoneHeader = QStringLiteral("完成数量");
  QString FOpenHeader = QStringLiteral("未完成数量");
  QString FOpenSelectedHeader;  // empty: as FOpenHeader

 private:
  class Lines;
  bool InSelection() const;
  void AddDetailSelectedToCltArea();
  void ToggleMark();
  bool FSelectOK = false;
  std::unique_ptr<Lines> lines_;
};
