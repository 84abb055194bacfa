#pragma once
// The goods list from which a goods bill takes its lines: the user gathers any number of goods in
// the selection area below the list, which is the goods hand-over set GlobalDM().cdsSelectGoods,
// and confirms; the bill reads the set afterwards and empties it. A dialog closed any other way
// hands nothing over. The bill template creates it by name ("uSelectGoods.TfrmSelectGoods").

#include "selectdialogs.h"

class QLabel;
class QPushButton;

class TfrmSelectGoods : public vlt::business::TBaseDataPickForm {
  Q_OBJECT
 public:
  explicit TfrmSelectGoods(QWidget* owner = nullptr);
  ~TfrmSelectGoods() override;

  QRadioButton* rbGcode;
  QRadioButton* rbGname;
  QRadioButton* rbGspec;
  QWidget* lytSelectArea;
  QPushButton* btnAddSelectArea;
  QPushButton* btnSelectAreaDel;
  QPushButton* btnClearSelectArea;
  QLabel* lblError;
  vlt::components::TNxStringGrid* grdSelect;
  QAction* actAddSelectArea;    // "添加到选择区"
  QAction* actSelectAreaDel;    // "从选区删除"
  QAction* actClearSelectArea;  // "清空选区"

  bool FSelectOK = false;  // the user confirmed the selection

  void FormCreate() override;
  void FormClose() override;
  void actOKExecute() override;
  void actModifyExecute() override;
  void actAddSelectAreaExecute();
  void actSelectAreaDelExecute();
  void actClearSelectAreaExecute();

  // The goods hand-over set, opened with its fields (id, code, name, spec, typeid, unitid,
  // purPrice, salPrice) when nobody opened it before.
  static vlt::ClientDataSet& SelectGoods();
};
