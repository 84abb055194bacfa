#pragma once
// The powers window: the operators admitted to one account set and the function modules granted
// to each of them (ts_userpower of that set). Also the small pieces the powers and module
// selection windows share: tick columns, the comma list of a window parameter, and the delta of
// a grant list without the rows that only a tick touched.

#include <QString>
#include <QStringList>
#include <functional>
#include <string_view>

#include "vlt/components.h"
#include "vlt/dataset.h"
#include "vlt/host.h"

class QAction;
class QLineEdit;
class QRadioButton;

namespace vlt::controlcenter {

// What a ticked row holds in its client-only tick column.
inline constexpr const char* kTickMark = "√";

// A window parameter split as a comma list in which blanks also separate items and double
// quotes keep an item together ("a,b c" -> a, b, c).
QStringList SplitCommaText(const QString& text);

// Runs `f` on every visible row with the grid still, then returns to the row it started on.
void ForVisibleRows(ClientDataSet& list, const std::function<void()>& f);
// True when the row's tick column holds a value.
bool IsTicked(ClientDataSet& list, std::string_view tickField);
// Turns the current row's tick on when empty, off when set (the row is edited and posted).
void ToggleTick(ClientDataSet& list, std::string_view tickField);
// Ticks every visible row ("全选") or toggles every visible row ("反选"), keeping the current
// row and the grid still while walking.
void TickAll(ClientDataSet& list, std::string_view tickField);
void InvertTicks(ClientDataSet& list, std::string_view tickField);
// Makes a click in the grid's first column toggle the tick of the clicked row.
void ConnectTicking(components::TNxStringGrid* grid, ClientDataSet& list,
                    std::string_view tickField);

// The pending changes of a list as the service should get them: the change log without rows
// whose stored columns are unchanged (a tick is an edit of a client-only column).
Delta StoredChanges(const ClientDataSet& list);

// A login ID: decimal digits only.
bool IsLoginID(const QString& text);
// Why the module catalogue cannot be read for this account set and operator (both go into the
// statement as names and numbers, unquoted); empty when they are well formed.
QString ModuleQueryRefusal(const QString& userDBID, const QString& operatorID);

}  // namespace vlt::controlcenter

class TfrmUserDBPower : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmUserDBPower(QWidget* owner = nullptr);
  ~TfrmUserDBPower() override;

  void FormShow() override;

  QLineEdit* edtUserDBID;
  QLineEdit* edtUserDBName;
  vlt::ClientDataSet cdsDBOperator;
  vlt::components::TNxStringGrid* grdOperator;
  vlt::ClientDataSet cdsModule;
  vlt::components::TNxStringGrid* grdModule;
  QRadioButton* rbAll;
  QRadioButton* rbDB;
  QRadioButton* rbYW;
  QRadioButton* rbRP;

  QAction* actAddUser;
  QAction* actDelUser;
  QAction* actAddModule;
  QAction* actDelModule;
  QAction* actSelectAll;
  QAction* actInvertSelect;
  QAction* actClose;

  void actAddUserExecute();
  void actDelUserExecute();
  void actAddModuleExecute();
  void actDelModuleExecute();
  void actSelectAllExecute();
  void actInvertSelectExecute();
  // Shows the current operator's grants of the chosen group.
  void ApplyGrantFilter();

 private:
  void loadOperators();
  void loadGrants();
  void saveGrants();
  std::string userDBID() const;
};
