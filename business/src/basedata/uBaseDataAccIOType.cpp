#include "uBaseDataAccIOType.h"

#include <cstdint>

#include "uBaseDataAccIOTypeEdit.h"

VLT_REGISTER_CLASS(uBaseDataAccIOType, TfrmBaseDataAccIOType);

using namespace vlt::host;
using vlt::templates::CreateForm;

TfrmBaseDataAccIOType::TfrmBaseDataAccIOType(QWidget* owner) : TfrmBaseDataGridForm(owner) {
  rbAccIN = new QRadioButton("其他收入类别", lytTop);
  rbAccIN->setObjectName("rbAccIN");
  rbAccOut = new QRadioButton("费用支出类别", lytTop);
  rbAccOut->setObjectName("rbAccOut");
  for (QRadioButton* rb : {rbAccIN, rbAccOut}) {
    rb->setFocusPolicy(Qt::NoFocus);  // the list keeps the focus for Enter
    AddTopWidget(rb);
  }
  connect(rbAccIN, &QRadioButton::toggled, this,
          guarded([this](bool checked) { rbAccINChange(checked); }));
  connect(rbAccOut, &QRadioButton::toggled, this,
          guarded([this](bool checked) { rbAccOutChange(checked); }));
}

TfrmBaseDataAccIOType::~TfrmBaseDataAccIOType() = default;

void TfrmBaseDataAccIOType::FormCreate() {
  setWindowTitle("基础资料 -> 费用收支类别");
  FBaseDataTableName = "td_accountiotype";
  FOpenBaseDataSql = "select * from " + FBaseDataTableName;
  GrdMain->Bind(&cdsBaseData, {{"Id", "", 0, false}, {"Name", "类别名称", 160}});
  TfrmBaseDataGridForm::FormCreate();
  // Checked once the rows are there, so that the list opens showing only what the button says.
  rbAccOut->setChecked(true);
}

void TfrmBaseDataAccIOType::rbAccINChange(bool checked) {
  if (checked) SetDirectionFilter("IoDirect=1");
}

void TfrmBaseDataAccIOType::rbAccOutChange(bool checked) {
  if (checked) SetDirectionFilter("IoDirect=-1");
}

void TfrmBaseDataAccIOType::SetDirectionFilter(const char* filter) {
  // The grid looks away while the rows are sifted, and comes back even if the filter fails.
  GrdMain->Link().SetActive(false);
  try {
    cdsBaseData.SetFilter(filter);
    cdsBaseData.SetFiltered(true);
  } catch (...) {
    GrdMain->Link().SetActive(true);
    throw;
  }
  GrdMain->Link().SetActive(true);
}

void TfrmBaseDataAccIOType::PassDirection(TfrmBaseDataAccIOTypeEdit& dialog) const {
  dialog.rbEditAccIN->setChecked(rbAccIN->isChecked());
  dialog.rbEditAccOut->setChecked(rbAccOut->isChecked());
}

void TfrmBaseDataAccIOType::actNewExecute() {
  auto dialog = CreateForm<TfrmBaseDataAccIOTypeEdit>();
  PassDirection(*dialog);
  ShowEditDialog(std::move(dialog), "Append");
}

void TfrmBaseDataAccIOType::actEditExecute() {
  CheckBeforeEdit();
  auto dialog = CreateForm<TfrmBaseDataAccIOTypeEdit>();
  dialog->FAccountIOTypeInfo.ID = qs(cdsBaseData.FieldByName("ID").AsString());
  dialog->FAccountIOTypeInfo.Name = qs(cdsBaseData.FieldByName("Name").AsString());
  dialog->FAccountIOTypeInfo.IODirect =
      static_cast<std::int8_t>(cdsBaseData.FieldByName("IODirect").AsInteger());
  PassDirection(*dialog);
  ShowEditDialog(std::move(dialog), "Edit");
}
