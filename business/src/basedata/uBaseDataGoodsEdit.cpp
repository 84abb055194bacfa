#include "uBaseDataGoodsEdit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QToolButton>
#include <memory>
#include <vector>

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

// A price as it goes into the statement: a number as typed, "0" for an empty box. Anything
// else goes in quoted, so that the service refuses it as a value (and says why) instead of
// running the typed text as part of the statement.
std::string priceSql(const QLineEdit* box) {
  const std::string text = trimmed(box);
  if (text.empty()) return "0";
  Decimal number;
  return Decimal::tryParse(text, number) ? text : quotedStr(text);
}

// Whether the typed price differs from the stored one; "12.50" is the stored 12.5.
bool priceChanged(const QLineEdit* box, const Decimal& stored) {
  const std::string text = trimmed(box);
  if (text.empty()) return !stored.isZero();
  Decimal number;
  return !Decimal::tryParse(text, number) || number != stored;
}

QString priceText(const Decimal& price) {
  return qs(price.toShortString());
}

// A read-only box with its "+" button beside it.
QWidget* pickRow(QWidget* parent, const char* name, QLineEdit* box, QToolButton* button) {
  auto* row = new QWidget(parent);
  row->setObjectName(QString::fromLatin1(name));
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(box, 1);
  layout->addWidget(button);
  return row;
}

QToolButton* pickButton(QAction* action, QWidget* parent, const char* name) {
  auto* b = new QToolButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setDefaultAction(action);
  // Enter keeps moving between the boxes; the buttons are for the mouse.
  b->setFocusPolicy(Qt::NoFocus);
  b->setFixedSize(28, 24);
  return b;
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
  auto label = [area](const char* name, const QString& text) {
    auto* l = new QLabel(text, area);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return l;
  };
  auto box = [area](const char* name, int maxLength) {
    auto* e = new QLineEdit(area);
    e->setObjectName(QString::fromLatin1(name));
    if (maxLength > 0) e->setMaxLength(maxLength);
    return e;
  };
  // Made in the order Enter walks through them.
  edtGoodsCode = box("edtGoodsCode", 40);
  edtGoodsName = box("edtGoodsName", 80);
  edtGoodsSpec = box("edtGoodsSpec", 80);
  edtGoodsType = box("edtGoodsType", 0);
  edtGoodsType->setReadOnly(true);
  SetBoxTagString(edtGoodsType, QString());
  edtGoodsUnit = box("edtGoodsUnit", 0);
  edtGoodsUnit->setReadOnly(true);
  SetBoxTagString(edtGoodsUnit, QString());
  cbbGoodsKind = new QComboBox(area);
  cbbGoodsKind->setObjectName("cbbGoodsKind");
  cbbGoodsKind->addItem("库存商品");
  cbbGoodsCostKeeping = new QComboBox(area);
  cbbGoodsCostKeeping->setObjectName("cbbGoodsCostKeeping");
  cbbGoodsCostKeeping->addItem("先进先出法");
  edtBarCode = box("edtBarCode", 40);
  edtPurPrice = box("edtPurPrice", 20);
  edtSalPrice = box("edtSalPrice", 20);
  edtWsaPrice = box("edtWsaPrice", 20);
  chkPause = new QCheckBox("停用", area);
  chkPause->setObjectName("chkPause");
  chkPause->setEnabled(false);
  mmoRemark = new QPlainTextEdit(area);
  mmoRemark->setObjectName("mmoRemark");
  mmoRemark->setTabChangesFocus(true);
  btnSelectGoodsType = pickButton(actSelectGoodsType, area, "btnSelectGoodsType");
  btnSelectUnit = pickButton(actSelectUnit, area, "btnSelectUnit");
  for (QLineEdit* price : {edtPurPrice, edtSalPrice, edtWsaPrice})
    price->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  lblGoodsCode = label("lblGoodsCode", "货品编码");
  lblGoodsName = label("lblGoodsName", "货品名称");
  lblGoodsUnit = label("lblGoodsUnit", "计量单位");

  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(10);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  grid->addWidget(lblGoodsCode, 0, 0);
  grid->addWidget(edtGoodsCode, 0, 1);
  grid->addWidget(label("lblBarCode", "条形码"), 0, 2);
  grid->addWidget(edtBarCode, 0, 3);
  grid->addWidget(lblGoodsName, 1, 0);
  grid->addWidget(edtGoodsName, 1, 1);
  grid->addWidget(label("lblGoodsSpec", "规格"), 1, 2);
  grid->addWidget(edtGoodsSpec, 1, 3);
  grid->addWidget(label("lblGoodsType", "货品类别"), 2, 0);
  grid->addWidget(pickRow(area, "lytGoodsType", edtGoodsType, btnSelectGoodsType), 2, 1);
  grid->addWidget(lblGoodsUnit, 2, 2);
  grid->addWidget(pickRow(area, "lytGoodsUnit", edtGoodsUnit, btnSelectUnit), 2, 3);
  grid->addWidget(label("lblGoodsKind", "货品属性"), 3, 0);
  grid->addWidget(cbbGoodsKind, 3, 1);
  grid->addWidget(label("lblGoodsCostKeeping", "成本核算"), 3, 2);
  grid->addWidget(cbbGoodsCostKeeping, 3, 3);
  grid->addWidget(label("lblPurPrice", "采购价"), 4, 0);
  grid->addWidget(edtPurPrice, 4, 1);
  grid->addWidget(label("lblSalPrice", "销售价"), 4, 2);
  grid->addWidget(edtSalPrice, 4, 3);
  grid->addWidget(label("lblWsaPrice", "批发价"), 5, 0);
  grid->addWidget(edtWsaPrice, 5, 1);
  grid->addWidget(chkPause, 5, 3);
  grid->addWidget(label("lblRemark", "附注说明"), 6, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(mmoRemark, 6, 1, 1, 3);
  grid->setRowStretch(6, 1);
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
         "," + priceSql(edtPurPrice) + "," + priceSql(edtSalPrice) + "," + priceSql(edtWsaPrice) +
         ",'False'," + quotedStr(ss(mmoRemark->toPlainText())) + ",'False'" + ")";
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
    sets.push_back("PurPrice=" + priceSql(edtPurPrice));
  if (priceChanged(edtSalPrice, FGoodsInfo.SalPrice))
    sets.push_back("SalPrice=" + priceSql(edtSalPrice));
  if (priceChanged(edtWsaPrice, FGoodsInfo.WsaPrice))
    sets.push_back("WsaPrice=" + priceSql(edtWsaPrice));
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
  for (QLineEdit* box : {edtGoodsCode, edtGoodsName, edtGoodsSpec, edtGoodsUnit, edtBarCode,
                         edtPurPrice, edtSalPrice, edtWsaPrice})
    box->clear();
  SetBoxTagString(edtGoodsUnit, QString());
  mmoRemark->clear();
  edtGoodsCode->setFocus();
  TagString = "Append";
}

void TfrmBaseDataGoodsEdit::actSelectGoodsTypeExecute() {
  // The dialog writes the type box itself.
  std::unique_ptr<TfrmSelectGoodsType> dialog = CreateForm<TfrmSelectGoodsType>(this);
  dialog->FreeOnClose = false;
  dialog->ParentForm = this;
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
  if (auto* select = qobject_cast<TfrmBaseDataSelectForm*>(dialog.data())) {
    select->ParentForm = this;
    select->ReturnComponentName = "edtGoodsUnit";
  }
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
