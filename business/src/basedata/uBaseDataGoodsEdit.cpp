#include "uBaseDataGoodsEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolButton>
#include <memory>
#include <optional>
#include <vector>

#include "formrows.h"
#include "tplwidgets.h"
#include "uBaseDataSelectForm.h"
#include "uGoodsTypeTree.h"
#include "uSelectGoodsType.h"
#include "vlt/decimal.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseDataGoodsEdit, TfrmBaseDataGoodsEdit);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::business;
using namespace vlt::templates;

namespace {

const char* const kSystemTypeId = "-9999";
const QString kUnitDialog = QStringLiteral("uSelectUnit.TfrmSelectUnit");

std::string trimmed(const QLineEdit* box) {
  return ss(box->text().trimmed());
}

// Whether the typed price (checked before) differs from the stored one; "12.50" is the stored 12.5.
bool priceChanged(const TNumberBox* box, const Decimal& stored) {
  const std::optional<Decimal> number = box->Number();
  return !number || *number != stored;
}

QString priceText(const Decimal& price) {
  return qs(price.toShortString());
}

}  // namespace

TfrmBaseDataGoodsEdit::TfrmBaseDataGoodsEdit(QWidget* owner) : TfrmBaseDataEdit(owner) {
  setWindowTitle("货品档案编辑");
  setFixedSize(640, 420);
  actSelectGoodsType =
      MakeAction(this, "actSelectGoodsType", "+", {}, [this] { actSelectGoodsTypeExecute(); });
  actSelectGoodsType->setToolTip("选择货品类别");
  actSelectUnit = MakeAction(this, "actSelectUnit", "+", {}, [this] { actSelectUnitExecute(); });
  actSelectUnit->setToolTip("选择计量单位");

  auto* area = new QWidget(pnlMain);
  area->setObjectName("lytGoods");
  auto box = [area](const char* name, int maxLength) {
    auto* e = new QLineEdit(area);
    e->setObjectName(QString::fromLatin1(name));
    if (maxLength > 0) e->setMaxLength(maxLength);
    return e;
  };
  auto combo = [area](const char* name, const QString& only) {
    auto* c = new QComboBox(area);
    c->setObjectName(QString::fromLatin1(name));
    c->addItem(only);
    return c;
  };
  // Made in the order Enter walks through them.
  edtGoodsCode = box("edtGoodsCode", 40);
  edtGoodsName = box("edtGoodsName", 80);
  edtGoodsSpec = box("edtGoodsSpec", 80);
  edtGoodsType = box("edtGoodsType", 0);
  SetBoxTagString(edtGoodsType, QString());
  edtGoodsUnit = box("edtGoodsUnit", 0);
  SetBoxTagString(edtGoodsUnit, QString());
  cbbGoodsKind = combo("cbbGoodsKind", "库存商品");
  cbbGoodsCostKeeping = combo("cbbGoodsCostKeeping", "先进先出法");
  edtBarCode = box("edtBarCode", 40);
  // DECIMAL(11, 2) columns.
  edtPurPrice = new TNumberBox(area, "edtPurPrice", "采购价");
  edtSalPrice = new TNumberBox(area, "edtSalPrice", "销售价");
  edtWsaPrice = new TNumberBox(area, "edtWsaPrice", "批发价");
  chkPause = new QCheckBox("停用", area);
  chkPause->setObjectName("chkPause");
  chkPause->setEnabled(false);
  mmoRemark = new QPlainTextEdit(area);
  mmoRemark->setObjectName("mmoRemark");

  TFormRows rows(area, 2);
  lblGoodsCode = rows.Row("lblGoodsCode", "货品编码", edtGoodsCode);
  rows.Row("lblBarCode", "条形码", edtBarCode);
  lblGoodsName = rows.Row("lblGoodsName", "货品名称", edtGoodsName);
  rows.Row("lblGoodsSpec", "规格", edtGoodsSpec);
  rows.PickRow("lblGoodsType", "货品类别", edtGoodsType, actSelectGoodsType, "btnSelectGoodsType",
               &btnSelectGoodsType);
  lblGoodsUnit = rows.PickRow("lblGoodsUnit", "计量单位", edtGoodsUnit, actSelectUnit,
                              "btnSelectUnit", &btnSelectUnit);
  rows.Row("lblGoodsKind", "货品属性", cbbGoodsKind);
  rows.Row("lblGoodsCostKeeping", "成本核算", cbbGoodsCostKeeping);
  rows.Row("lblPurPrice", "采购价", edtPurPrice);
  rows.Row("lblSalPrice", "销售价", edtSalPrice);
  rows.Row("lblWsaPrice", "批发价", edtWsaPrice);
  rows.Cell(chkPause);
  rows.MemoRow("lblRemark", "附注说明", mmoRemark);
  EditRows()->addRow(area);
}

TfrmBaseDataGoodsEdit::~TfrmBaseDataGoodsEdit() = default;

void TfrmBaseDataGoodsEdit::FormShow() {
  TfrmBaseDataEdit::FormShow();
  edtGoodsCode->setFocus();
  if (!IsMode("Edit")) return;
  edtGoodsCode->setText(FGoodsInfo.Code);
  edtGoodsName->setText(FGoodsInfo.Name);
  edtGoodsSpec->setText(FGoodsInfo.Spec);
  edtGoodsType->setText(FGoodsInfo.TypeName);
  SetBoxTagString(edtGoodsType, FGoodsInfo.TypeId);
  edtGoodsUnit->setText(FGoodsInfo.UnitName);
  SetBoxTagString(edtGoodsUnit, FGoodsInfo.UnitID);
  edtBarCode->setText(FGoodsInfo.BarCode);
  edtPurPrice->setText(priceText(FGoodsInfo.PurPrice));
  edtSalPrice->setText(priceText(FGoodsInfo.SalPrice));
  edtWsaPrice->setText(priceText(FGoodsInfo.WsaPrice));
  mmoRemark->setPlainText(FGoodsInfo.ReMark);
}

std::string TfrmBaseDataGoodsEdit::typeId() {
  if (edtGoodsType->text().isEmpty()) SetBoxTagString(edtGoodsType, kSystemTypeId);
  return ss(BoxTagString(edtGoodsType));
}

std::string TfrmBaseDataGoodsEdit::DuplicateQuery() const {
  const std::string code = quotedStr(trimmed(edtGoodsCode));
  const std::string nameAndSpec = "((Name=" + quotedStr(trimmed(edtGoodsName)) +
                                  ") and (Spec=" + quotedStr(trimmed(edtGoodsSpec)) + "))";
  if (IsMode("Append")) return "select * from td_goods where (code=" + code + ") or " + nameAndSpec;
  if (!IsMode("Edit")) return {};
  std::string conditions;
  if (edtGoodsCode->text().trimmed() != FGoodsInfo.Code) conditions = "(Code=" + code + ")";
  if (edtGoodsName->text().trimmed() != FGoodsInfo.Name ||
      edtGoodsSpec->text().trimmed() != FGoodsInfo.Spec)
    conditions += (conditions.empty() ? "" : " or ") + nameAndSpec;
  if (conditions.empty()) return {};
  // The goods itself is no duplicate: a change of letter case only would otherwise find it.
  return "select * from td_goods where (Id<>" + quotedStr(ss(FGoodsInfo.ID)) + ") and (" +
         conditions + ")";
}

void TfrmBaseDataGoodsEdit::Vlt_BeforeSaveData() {
  TfrmBaseDataEdit::Vlt_BeforeSaveData();
  const std::pair<QLineEdit*, QLabel*> required[] = {
      {edtGoodsCode, lblGoodsCode}, {edtGoodsName, lblGoodsName}, {edtGoodsUnit, lblGoodsUnit}};
  for (const auto& [box, label] : required) {
    if (!box->text().trimmed().isEmpty()) continue;
    ShowMessage(QString("【%1】值为空，保存被取消，请检查数据！").arg(label->text()));
    box->setFocus();
    Abort();
  }
  // Before the duplicate check, which asks the service.
  CheckBoxes({edtPurPrice, edtSalPrice, edtWsaPrice});
  const std::string query = DuplicateQuery();
  if (!query.empty() && doServerMethods().CheckValueIsExistBySql(CurUserInfo().UserDBID, query)) {
    ShowMessage("【货品编码 或 名称/规格】已存在，保存被取消！ 错误原因：数据重复！");
    edtGoodsCode->setFocus();
    Abort();
  }
}

std::string TfrmBaseDataGoodsEdit::Vlt_GetInsertStr() {
  const std::string id = GetNewID();
  return "Insert into td_Goods (Id,Code,Name,Spec,TypeID,UnitID,Kind,CostKeeping,BarCode,"
         "PurPrice,SalPrice,WsaPrice,Pause,ReMark,ExistPic) value (" +
         quotedStr(id) + "," + quotedStr(trimmed(edtGoodsCode)) + "," +
         quotedStr(trimmed(edtGoodsName)) + "," + quotedStr(trimmed(edtGoodsSpec)) + "," +
         quotedStr(typeId()) + "," + quotedStr(ss(BoxTagString(edtGoodsUnit))) + "," +
         quotedStr(ss(cbbGoodsKind->itemText(0))) + "," +
         quotedStr(ss(cbbGoodsCostKeeping->itemText(0))) + "," + quotedStr(trimmed(edtBarCode)) +
         "," + edtPurPrice->SqlText() + "," + edtSalPrice->SqlText() + "," +
         edtWsaPrice->SqlText() + ",'False'," + quotedStr(ss(mmoRemark->toPlainText())) +
         ",'False'" + ")";
}

std::string TfrmBaseDataGoodsEdit::Vlt_GetUpdateStr() {
  const std::string type = typeId();
  const std::string unit = ss(BoxTagString(edtGoodsUnit));
  std::vector<std::string> sets;
  if (edtGoodsCode->text().trimmed() != FGoodsInfo.Code)
    sets.push_back("Code=" + quotedStr(trimmed(edtGoodsCode)));
  if (edtGoodsName->text().trimmed() != FGoodsInfo.Name)
    sets.push_back("Name=" + quotedStr(trimmed(edtGoodsName)));
  if (edtGoodsSpec->text().trimmed() != FGoodsInfo.Spec)
    sets.push_back("Spec=" + quotedStr(trimmed(edtGoodsSpec)));
  if (qs(type) != FGoodsInfo.TypeId) sets.push_back("TypeID=" + quotedStr(type));
  if (qs(unit) != FGoodsInfo.UnitID) sets.push_back("UnitID=" + quotedStr(unit));
  if (edtBarCode->text() != FGoodsInfo.BarCode)
    sets.push_back("BarCode=" + quotedStr(trimmed(edtBarCode)));
  if (priceChanged(edtPurPrice, FGoodsInfo.PurPrice))
    sets.push_back("PurPrice=" + edtPurPrice->SqlText());
  if (priceChanged(edtSalPrice, FGoodsInfo.SalPrice))
    sets.push_back("SalPrice=" + edtSalPrice->SqlText());
  if (priceChanged(edtWsaPrice, FGoodsInfo.WsaPrice))
    sets.push_back("WsaPrice=" + edtWsaPrice->SqlText());
  if (mmoRemark->toPlainText().trimmed() != FGoodsInfo.ReMark)
    sets.push_back("ReMark=" + quotedStr(ss(mmoRemark->toPlainText().trimmed())));
  if (sets.empty()) return {};
  std::string joined;
  for (const std::string& s : sets)
    joined += (joined.empty() ? "" : ",") + s;
  return "update td_Goods set " + joined + " where Id=" + quotedStr(ss(FGoodsInfo.ID));
}

void TfrmBaseDataGoodsEdit::Vlt_AfterSaveData() {
  TfrmBaseDataEdit::Vlt_AfterSaveData();
  // The type stays for the next goods, which is usually of the same kind.
  for (QLineEdit* box :
       std::initializer_list<QLineEdit*>{edtGoodsCode, edtGoodsName, edtGoodsSpec, edtGoodsUnit,
                                         edtBarCode, edtPurPrice, edtSalPrice, edtWsaPrice})
    box->clear();
  SetBoxTagString(edtGoodsUnit, QString());
  mmoRemark->clear();
  edtGoodsCode->setFocus();
  TagString = "Append";
}

void TfrmBaseDataGoodsEdit::actSelectGoodsTypeExecute() {
  std::unique_ptr<TfrmSelectGoodsType> dialog = CreateForm<TfrmSelectGoodsType>(this);
  dialog->FreeOnClose = false;
  dialog->Target = TPickTarget::IntoBox(*edtGoodsType);
  dialog->move(edtGoodsType->mapToGlobal(QPoint(0, 0)));
  ShowModal(*dialog);
}

void TfrmBaseDataGoodsEdit::actSelectUnitExecute() {
  ClientDataSet& handOver = GlobalDM().cdsSelectResult;
  if (handOver.Active()) handOver.EmptyDataSet();
  QPointer<TForm> dialog = CreateRttiForm(kBusinessPackage, kUnitDialog, this);
  // Freed here whatever happens, unless it already freed itself.
  struct FreeDialog {
    QPointer<TForm>& d;
    ~FreeDialog() { delete d.data(); }
  } freeDialog{dialog};
  if (auto* select = qobject_cast<TfrmBaseDataSelectForm*>(dialog.data()))
    select->Target = TPickTarget::IntoBox(*edtGoodsUnit);
  dialog->move(edtGoodsUnit->mapToGlobal(QPoint(0, 0)));
  ShowModal(*dialog);
  // A dialog that hands its choice over instead of writing the box.
  if (handOver.Active() && !handOver.IsEmpty()) {
    handOver.First();
    edtGoodsUnit->setText(qs(handOver.FieldByName("name").AsString()));
    SetBoxTagString(edtGoodsUnit, qs(handOver.FieldByName("id").AsString()));
    handOver.EmptyDataSet();
  }
}
