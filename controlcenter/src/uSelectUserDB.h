#pragma once
// The account-set window: the sets the user owns or operates; choosing one, creating and
// renaming sets, and the way to a set's operators and powers. Also the account-set id rules.

#include <QAction>
#include <QString>

#include "vlt/components.h"
#include "vlt/dataset.h"
#include "vlt/host.h"

class QLabel;

namespace vlt::controlcenter {

// Account sets are numbered 1 to 99 per owner; the id has room for two digits.
inline constexpr int kMaxUserDBNumber = 99;

// "12345_01" .. "12345_99" for the owner 12345; empty outside 1..99.
QString UserDBIDOf(const QString& loginId, int number);
// The form of an account-set id: digits, "_", two digits 01..99.
bool IsUserDBID(const QString& id);
// The number of the next account set of the owner of the list's current row: one more than the
// largest number among the rows whose id begins with that owner's ID; 1 for an empty list. The
// list is walked with its controls disabled and comes back to its current row.
int NextUserDBNumber(ClientDataSet& accountSets);

}  // namespace vlt::controlcenter

class TfrmSelectUserDB : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmSelectUserDB(QWidget* owner = nullptr);
  ~TfrmSelectUserDB() override;

  void FormShow() override;

  vlt::ClientDataSet cdsUB;
  vlt::components::TNxStringGrid* grdUserDB;
  QLabel* lblNoUserDB;

  QAction* actSelectDB;
  QAction* actNewDB;
  QAction* actModifyDB;
  QAction* actDelDB;
  QAction* actUserAndPower;

  void actSelectDBExecute();
  void actNewDBExecute();
  void actModifyDBExecute();
  void actDelDBExecute();
  void actUserAndPowerExecute();
  // Loads the list again and shows the warning line when it is empty.
  void RefreshUserDB();

 private:
  void showAddWindow(const QString& mode, const QString& maxDBID);
};
