#pragma once
// The opening-balance windows (receivables of clients, payables to vendors, money in settlement
// accounts): the rows of a movement table whose Bid is "-99", listed in a grid whose amount
// column the user types into, saved as the data set's change log. Rows are neither added nor
// deleted here; the service makes one per trader and account.
//
// How a window of the family uses it: define the persistent fields of its data set in the
// constructor, and in FormCreate() set the caption, FTableName, F_Fk and SqlStr, call
// UseDataSet() with its data set and grid columns, then the inherited FormCreate().

#include <QString>
#include <string>
#include <vector>

#include "uBaseFormEx.h"
#include "vlt/components.h"

class QAction;
class QToolButton;

namespace vlt::business {

class TOpeningBalanceForm : public TfrmBaseFormEx {
  Q_OBJECT
 public:
  explicit TOpeningBalanceForm(QWidget* owner = nullptr);
  ~TOpeningBalanceForm() override;

  vlt::components::TNxStringGrid* nxGrd;
  QToolButton* btnSaveNew;
  QToolButton* btnRefresh;

  void FormCreate() override;
  // Sends the changed rows; "未发现需要保存的数据！" when there are none.
  void btnSaveNewClick();
  // Drops unsaved changes and loads the rows again.
  void btnRefreshClick();

  // The persistent fields of a trader window's data set: TraderID, traderName, IOAmount,
  // IsClient, Bid, IODirection.
  static void DefineTraderFields(ClientDataSet& dataSet);
  // Those of the account window: AccountID, AccountName, Bid, IOAmount, IODirection.
  static void DefineAccountFields(ClientDataSet& dataSet);

 protected:
  void UseDataSet(ClientDataSet& dataSet, std::vector<vlt::components::TColumnDef> columns);
  void LoadRows();

  std::string FTableName;  // the movement table
  std::string F_Fk;        // its key fields for saving ("TraderID,Bid")
  std::string SqlStr;      // the opening rows

 private:
  ClientDataSet* dataSet_ = nullptr;
  QAction* saveAction_;
  QAction* refreshAction_;
};

}  // namespace vlt::business
