#include "traderbasedata.h"

#include "vlt/sqltext.h"

using namespace vlt::host;

namespace vlt::business {

const TTraderKind& ClientKind() {
  static const TTraderKind kind{
      true,       "基础资料 -> 客户档案", "客户名称", "实际应收款余额", "客户档案编辑",
      "客户地址", "客户名称不能为空！"};
  return kind;
}

const TTraderKind& VendorKind() {
  static const TTraderKind kind{
      false,        "基础资料 -> 供货商档案", "供货商名称", "实际应付款余额", "供货商档案编辑",
      "供货商地址", "供货商名称不能为空！"};
  return kind;
}

namespace {

std::string trimmed(const QLineEdit* box) {
  return ss(box->text().trimmed());
}

}  // namespace

// ---- edit dialog ------------------------------------------------------------------------------

TTraderEditDialog::TTraderEditDialog(QWidget* owner, const TTraderKind& kind)
    : TfrmBaseDataEdit(owner), kind_(kind) {
  setWindowTitle(kind.editCaption);
  edtTraderName = AddBox("edtTraderName", kind.nameHeader);
  edtTraderAddr = AddBox("edtTraderAddr", kind.addressLabel);
  edtTraderLinkMen = AddBox("edtTraderLinkMen", "联 系 人");
  edtTraderTel = AddBox("edtTraderTel", "联系电话");
}

TTraderEditDialog::~TTraderEditDialog() = default;

void TTraderEditDialog::FormShow() {
  TfrmBaseDataEdit::FormShow();
  edtTraderName->setFocus();
  if (IsMode("Edit")) {
    edtTraderName->setText(FTraderInfo.Name);
    edtTraderTel->setText(FTraderInfo.Tel);
    edtTraderLinkMen->setText(FTraderInfo.LinkMen);
    edtTraderAddr->setText(FTraderInfo.Address);
  }
}

void TTraderEditDialog::Vlt_BeforeSaveData() {
  TfrmBaseDataEdit::Vlt_BeforeSaveData();
  if (edtTraderName->text().trimmed().isEmpty()) {
    ShowMessage(kind_.emptyNameMessage);
    edtTraderName->setFocus();
    Abort();
  }
}

std::string TTraderEditDialog::Vlt_GetInsertStr() {
  return "Insert into td_trader (Id,Name,Address,LinkMen,Tel,IsClient) value (" +
         quotedStr(GetNewID()) + "," + quotedStr(trimmed(edtTraderName)) + "," +
         quotedStr(trimmed(edtTraderAddr)) + "," + quotedStr(trimmed(edtTraderLinkMen)) + "," +
         quotedStr(trimmed(edtTraderTel)) + "," + quotedStr(IsClientText(kind_)) + ")";
}

std::string TTraderEditDialog::Vlt_GetUpdateStr() {
  std::string assignments;
  const auto changed = [&assignments](const char* column, const QLineEdit* box,
                                      const QString& stored) {
    const std::string text = trimmed(box);
    if (qs(text) == stored) return;
    if (!assignments.empty()) assignments += ",";
    assignments += std::string(column) + "=" + quotedStr(text);
  };
  changed("Name", edtTraderName, FTraderInfo.Name);
  changed("Address", edtTraderAddr, FTraderInfo.Address);
  changed("LinkMen", edtTraderLinkMen, FTraderInfo.LinkMen);
  changed("Tel", edtTraderTel, FTraderInfo.Tel);
  if (assignments.empty()) return {};
  return "update td_Trader set " + assignments + " where Id=" + quotedStr(ss(FTraderInfo.ID));
}

void TTraderEditDialog::Vlt_AfterSaveData() {
  TfrmBaseDataEdit::Vlt_AfterSaveData();
  for (QLineEdit* box : {edtTraderName, edtTraderAddr, edtTraderLinkMen, edtTraderTel})
    box->clear();
  edtTraderName->setFocus();
  TagString = "Append";
}

// ---- list ---------------------------------------------------------------------------------------

TTraderListForm::TTraderListForm(QWidget* owner, const TTraderKind& kind)
    : TfrmBaseDataGridForm(owner), kind_(kind) {}

TTraderListForm::~TTraderListForm() = default;

void TTraderListForm::FormCreate() {
  setWindowTitle(kind_.listCaption);
  FBaseDataTableName = "td_Trader";
  FOpenBaseDataSql =
      "select * from " + FBaseDataTableName + " where IsClient=" + quotedStr(IsClientText(kind_));
  GrdMain->Bind(&cdsBaseData, {{"Id", "", 0, false},
                               {"Name", kind_.nameHeader, 160},
                               {"Address", "地址", 160},
                               {"LinkMen", "联系人", 90},
                               {"Tel", "联系电话", 90},
                               {"Balance", kind_.balanceHeader, 100},
                               {"IsClient", "", 0, false}});
  TfrmBaseDataGridForm::FormCreate();
}

void TTraderListForm::actNewExecute() {
  ShowEditDialog(CreateEditDialog(), "Append");
}

void TTraderListForm::actEditExecute() {
  CheckBeforeEdit();
  std::unique_ptr<TTraderEditDialog> dialog = CreateEditDialog();
  TBaseDataInfo_Trader& info = dialog->FTraderInfo;
  info.ID = qs(cdsBaseData.FieldByName("ID").AsString());
  info.Name = qs(cdsBaseData.FieldByName("Name").AsString());
  info.Address = qs(cdsBaseData.FieldByName("Address").AsString());
  info.LinkMen = qs(cdsBaseData.FieldByName("LinkMen").AsString());
  info.Tel = qs(cdsBaseData.FieldByName("Tel").AsString());
  info.Balance = cdsBaseData.FieldByName("Balance").AsDecimal();
  info.IsClient = qs(cdsBaseData.FieldByName("IsClient").AsString());
  ShowEditDialog(std::move(dialog), "Edit");
}

}  // namespace vlt::business
