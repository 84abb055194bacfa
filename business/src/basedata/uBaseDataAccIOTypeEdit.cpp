#include "uBaseDataAccIOTypeEdit.h"

#include <QHBoxLayout>

#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseDataAccIOTypeEdit, TfrmBaseDataAccIOTypeEdit);

using namespace vlt;
using namespace vlt::host;

TfrmBaseDataAccIOTypeEdit::TfrmBaseDataAccIOTypeEdit(QWidget* owner)
    : TNameEditDialog(owner, "收入支出类别编辑", "类别名称", "收支类别名称不能为空！") {
  // One parent makes the two buttons one exclusive group.
  auto* directions = new QWidget(pnlMain);
  directions->setObjectName("lytDirection");
  rbEditAccIN = new QRadioButton("其他收入类别", directions);
  rbEditAccIN->setObjectName("rbEditAccIN");
  rbEditAccOut = new QRadioButton("费用支出类别", directions);
  rbEditAccOut->setObjectName("rbEditAccOut");
  auto* row = new QHBoxLayout(directions);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(16);
  row->addWidget(rbEditAccIN);
  row->addWidget(rbEditAccOut);
  row->addStretch(1);
  EditRows()->addRow(QString(), directions);
}

TfrmBaseDataAccIOTypeEdit::~TfrmBaseDataAccIOTypeEdit() = default;

int TfrmBaseDataAccIOTypeEdit::Direction() const {
  if (rbEditAccIN->isChecked()) return 1;
  if (rbEditAccOut->isChecked()) return -1;
  return 0;
}

std::string TfrmBaseDataAccIOTypeEdit::Vlt_GetInsertStr() {
  return "Insert into td_accountiotype (Id,Name,IODirect) value (" + quotedStr(GetNewID()) + "," +
         quotedStr(TrimmedName()) + "," + sqlNumber(std::int64_t{Direction()}) + ")";
}

std::string TfrmBaseDataAccIOTypeEdit::Vlt_GetUpdateStr() {
  if (qs(TrimmedName()) == FAccountIOTypeInfo.Name && Direction() == FAccountIOTypeInfo.IODirect)
    return {};
  return "update td_accountiotype set Name=" + quotedStr(TrimmedName()) +
         ",IODirect=" + sqlNumber(std::int64_t{Direction()}) +
         " where Id=" + quotedStr(ss(FAccountIOTypeInfo.ID));
}
