#pragma once
// The main window: a narrow panel that shows who is signed in and which account set is current,
// and hosts one page per module package behind a column of navigation items.

#include <cstdint>
#include <vector>

#include "vlt/host.h"

class QAction;
class QLabel;
class QLineEdit;
class QListWidget;
class QTabWidget;
class QToolButton;
class QPushButton;

class TfrmMainForm : public vlt::host::TForm {
  Q_OBJECT
 public:
  // Item data of lstNavigation: the item's package file (its TagString) and its name.
  static constexpr int TagStringRole = Qt::UserRole;
  static constexpr int ItemNameRole = Qt::UserRole + 1;

  explicit TfrmMainForm(QWidget* owner = nullptr);

  void FormCreate() override;
  void FormShow() override;

  QLabel* ImgHeader;
  QLabel* lblNickName;
  QLineEdit* edtCurDB;
  QLabel* lblCurDB;
  QToolButton* btnCurDB;
  QAction* actSelectUserDB;
  QListWidget* lstNavigation;
  QTabWidget* tbcNavigation;
  QLabel* lblTelephone;
  QPushButton* btnOnlinesvr;

  void actSelectUserDBExecute();
  void lstNavigationChange(int index);
  void edtCurDBChange();
  void btnOnlinesvrClick();

  // Loads one module package and places the frame of each frame class it offers in a new page.
  // A failure unloads the package again and propagates.
  std::uint32_t LoadPackagePages(const QString& fileName);

 private:
  void TakeSelectedUserDB();
};
