#pragma once
// What the edit dialogs of units, settlement accounts and income/expense categories share: one
// name box that must not be blank, is stored trimmed, shows the edited row's name in "Edit" mode
// and is emptied for the next record after save-and-new.

#include <QLineEdit>
#include <QString>
#include <string>

#include "uBaseDataEditForm.h"

namespace vlt::business {

class TNameEditDialog : public TfrmBaseDataEdit {
  Q_OBJECT
 public:
  // `nameLabel` heads the name box; `emptyNameMessage` is shown when it is left blank.
  TNameEditDialog(QWidget* owner, const QString& caption, const QString& nameLabel,
                  QString emptyNameMessage);
  ~TNameEditDialog() override;

  QLineEdit* edtName;

  void FormShow() override;
  void Vlt_BeforeSaveData() override;
  void Vlt_AfterSaveData() override;

 protected:
  // The stored name of the row being edited (from the descendant's record field).
  virtual QString EditedName() const = 0;
  // The name box as it is stored: trimmed, UTF-8.
  std::string TrimmedName() const;

 private:
  QString emptyNameMessage_;
};

// "Insert into <table> (Id,Name) value ('<new id>','<name>')", the key from GetNewID().
std::string NameInsertSql(const std::string& table, const std::string& name);
// "update <table> set Name='<name>' where Id='<id>'"
std::string NameUpdateSql(const std::string& table, const std::string& name, const std::string& id);

}  // namespace vlt::business
