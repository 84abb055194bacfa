#include "simplebasedata.h"

#include <utility>

#include "vlt/sqltext.h"

using namespace vlt::host;

namespace vlt::business {

TNameEditDialog::TNameEditDialog(QWidget* owner, const QString& caption, const QString& nameLabel,
                                 QString emptyNameMessage)
    : TfrmBaseDataEdit(owner), emptyNameMessage_(std::move(emptyNameMessage)) {
  setWindowTitle(caption);
  edtName = AddBox("edtName", nameLabel);
}

TNameEditDialog::~TNameEditDialog() = default;

void TNameEditDialog::FormShow() {
  TfrmBaseDataEdit::FormShow();
  edtName->setFocus();
  if (IsMode("Edit")) edtName->setText(EditedName());
}

void TNameEditDialog::Vlt_BeforeSaveData() {
  TfrmBaseDataEdit::Vlt_BeforeSaveData();
  // Blank counts as empty: the name is stored trimmed.
  if (edtName->text().trimmed().isEmpty()) {
    ShowMessage(emptyNameMessage_);
    edtName->setFocus();
    Abort();
  }
}

void TNameEditDialog::Vlt_AfterSaveData() {
  TfrmBaseDataEdit::Vlt_AfterSaveData();
  edtName->clear();
  edtName->setFocus();
  TagString = "Append";
}

std::string TNameEditDialog::TrimmedName() const {
  return ss(edtName->text().trimmed());
}

std::string NameInsertSql(const std::string& table, const std::string& name) {
  return "Insert into " + table + " (Id,Name) value (" + quotedStr(GetNewID()) + "," +
         quotedStr(name) + ")";
}

std::string NameUpdateSql(const std::string& table, const std::string& name,
                          const std::string& id) {
  return "update " + table + " set Name=" + quotedStr(name) + " where Id=" + quotedStr(id);
}

}  // namespace vlt::business
