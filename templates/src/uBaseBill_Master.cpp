#include "uBaseBill_Master.h"

#include <QDateTime>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "formrows.h"
#include "tplwidgets.h"
#include "vlt/errors.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseBill_Master, TfrmBaseBill_Master);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;

namespace {

const QString kNewBillNoDelete = QStringLiteral("当前为新增状态，不允许删除");
const QString kDeleteConfirm = QStringLiteral("删除后无法恢复，请确认");
const QString kUnsavedBill = QStringLiteral("当前单据已修改，请先保存");

std::string nowText() {
  return ss(QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss"));
}

}  // namespace

namespace vlt::templates {

TBillFooter MakeBillFooter(QWidget* parent, const QString& captionEnd) {
  TBillFooter f{};
  f.row = new QWidget(parent);
  f.row->setObjectName("lytBillBottom");
  auto* line = new QHBoxLayout(f.row);
  line->setContentsMargins(7, 0, 7, 0);
  const std::pair<const char*, QLineEdit**> boxes[] = {{"制单人", &f.createOp},
                                                       {"制单日期", &f.createTime},
                                                       {"修改人", &f.updateOp},
                                                       {"修改时间", &f.updateTime}};
  static const char* const kNames[] = {"edtCreateOp", "edtCreateTime", "edtUpdateOp",
                                       "edtUpdateTime"};
  int i = 0;
  for (const auto& [text, box] : boxes) {
    *box = new QLineEdit(f.row);
    (*box)->setObjectName(QString::fromLatin1(kNames[i++]));
    (*box)->setReadOnly(true);
    (*box)->setEnabled(false);
    auto* label = new QLabel(QString::fromUtf8(text) + captionEnd, f.row);
    label->setEnabled(false);
    NameBox(label, *box);
    line->addWidget(label);
    line->addWidget(*box, 1);
  }
  // Room for a whole date and time.
  for (QLineEdit* time : {f.createTime, f.updateTime})
    time->setMinimumWidth(150);
  return f;
}

std::string TBillHeader::NewCode(const std::string& billDate) const {
  return doServerMethods().GetBill_MaxBcode(CurUserInfo().UserDBID, prefix, table, billDate);
}

void TBillHeader::Defaults() const {
  const std::string today = ss(QDate::currentDate().toString(Qt::ISODate));
  bill.FieldByName("Bid").SetAsString(GetNewID());
  bill.FieldByName("BDate").SetAsString(today);
  bill.FieldByName("BCode").SetAsString(NewCode(today));
  bill.FieldByName("CreateOp").SetAsString(CurUserInfo().UserID);
  bill.FieldByName("CreateTime").SetAsString(nowText());
}

bool TBillHeader::TakeDate(TDateBox& box) const {
  if (!box.Problem().isEmpty()) {
    ShowMessage(box.Problem());
    box.setFocus();
    Abort();
  }
  const std::string date = ss(box.Date().toString(Qt::ISODate));
  if (bill.FieldByName("BDate").AsString() == date) return false;
  if (bill.State() == DataSetState::Browse) bill.Edit();
  bill.FieldByName("BDate").SetAsString(date);
  bill.FieldByName("BCode").SetAsString(NewCode(date));
  return true;
}

void TBillHeader::RenewCode() const {
  const std::string code = NewCode(bill.FieldByName("BDate").AsString());
  if (bill.FieldByName("BCode").AsString() == code) return;
  if (bill.State() == DataSetState::Browse) bill.Edit();
  bill.FieldByName("BCode").SetAsString(code);
}

void TBillHeader::TakeStoredCode() const {
  const std::string bid = bill.FieldByName("Bid").AsString();
  vlt::ClientDataSet stored;
  stored.LoadFromPacket(doServerMethods().GetUserDBDataBySql(
      CurUserInfo().UserDBID, "select Bid, BCode from " + table + " where Bid=" + quotedStr(bid)));
  if (!stored.FindField("Bid") || !stored.FindField("BCode") || !stored.Locate("Bid", Value(bid)))
    return;
  const std::string code = stored.FieldByName("BCode").AsString();
  if (code.empty() || code == bill.FieldByName("BCode").AsString()) return;
  bill.Edit();
  bill.FieldByName("BCode").SetAsString(code);
  bill.Post();
  bill.MergeChangeLog();
}

void TBillHeader::Stamp() const {
  bill.FieldByName("UpdateOP").SetAsString(CurUserInfo().UserID);
  bill.FieldByName("UpdateTime").SetAsString(nowText());
}

void BindBillControl(components::TBindingList& list, QWidget* control, const QString& field) {
  if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
    list.BindMemo(memo, field);
  else if (auto* edit = qobject_cast<QLineEdit*>(control))
    list.BindEdit(edit, field);
  else if (auto* label = qobject_cast<QLabel*>(control))
    list.BindLabel(label, field);
  else
    throw Error("a bill binds line edits, memos and labels only");
}

}  // namespace vlt::templates

QString TfrmBaseBill_Master::MoneyText(const Field& field) {
  return field.IsNull() ? QString() : qs(field.AsDecimal().rescaled(2).toString());
}

// Follows cdsMaster for the boxes the binding list does not keep.
class TfrmBaseBill_Master::RowWatcher : public DataSetObserver {
 public:
  explicit RowWatcher(TfrmBaseBill_Master& form) : form_(form) {
    form_.cdsMaster.AddObserver(this);
  }
  ~RowWatcher() override {
    if (attached_) form_.cdsMaster.RemoveObserver(this);
  }
  RowWatcher(const RowWatcher&) = delete;
  RowWatcher& operator=(const RowWatcher&) = delete;

  void dataSetChanged(ClientDataSet&) override { form_.ShowBoxes(-1); }
  void recordChanged(ClientDataSet&, int field) override { form_.ShowBoxes(field); }
  void recordMoved(ClientDataSet&) override { form_.ShowBoxes(-1); }
  void stateChanged(ClientDataSet&) override { form_.ShowBoxes(-1); }
  void layoutChanged(ClientDataSet&) override { form_.ShowBoxes(-1); }
  void dataSetDestroying(ClientDataSet&) override { attached_ = false; }

 private:
  TfrmBaseBill_Master& form_;
  bool attached_ = true;
};

TfrmBaseBill_Master::TfrmBaseBill_Master(QWidget* owner) : TfrmBaseFormEx(owner) {
  resize(900, 560);
  actSaveAndNew = MakeAction(this, "actSaveAndNew", "保存新增", [this] { actSaveAndNewExecute(); });
  actSaveAndClose =
      MakeAction(this, "actSaveAndClose", "保存退出", [this] { actSaveAndCloseExecute(); });
  actDelBill = MakeAction(this, "actDelBill", "删除", [this] { actDelBillExecute(); });
  actCheckData =
      MakeAction(this, "actCheckData", "actCheckData", [this] { actCheckDataExecute(); });
  actPrior = MakeAction(this, "actPrior", "前单", [this] { actPriorExecute(); });
  actnext = MakeAction(this, "actnext", "后单", [this] { actnextExecute(); });
  actCdsRefresh =
      MakeAction(this, "actCdsRefresh", "actCdsRefresh", [this] { actCdsRefreshExecute(); });

  btnPrior = ToolButton(actPrior, lytTop, "btnPrior", "imgPrior", ToolIcon::Prior, 100);
  btnNext = ToolButton(actnext, lytTop, "btnNext", "imgNext", ToolIcon::Next, 100);
  btnDel = ToolButton(actDelBill, lytTop, "btnDel", "imgDel", ToolIcon::Delete, 100);
  btnSaveAndNew =
      ToolButton(actSaveAndNew, lytTop, "btnSaveAndNew", "imgSaveAndNew", ToolIcon::SaveNew, 125);
  btnSaveAndClose = ToolButton(actSaveAndClose, lytTop, "btnSaveAndClose", "imgSaveAndClose",
                               ToolIcon::SaveClose, 120);
  for (QWidget* b : {btnPrior, btnNext, btnDel, btnSaveAndNew, btnSaveAndClose})
    AddTopWidget(b);

  // The bill: a header with name, date and code, the descendant's area, the remark.
  pnlBillMain = new QFrame(lytMainArea);
  pnlBillMain->setObjectName("pnlBillMain");
  pnlBillMain->setProperty("styleLookup", "VltPanelBill");
  auto* bill = new QVBoxLayout(pnlBillMain);
  bill->setContentsMargins(7, 7, 7, 8);

  lytBillHeader = new QWidget(pnlBillMain);
  lytBillHeader->setObjectName("lytBillHeader");
  lytBillHeader->setFixedHeight(41);
  lblBillName = new QLabel(lytBillHeader);
  lblBillName->setObjectName("lblBillName");
  edtBdate = new TDateBox(lytBillHeader, "edtBdate", "日期");
  edtBcode = new QLineEdit(lytBillHeader);
  edtBcode->setObjectName("edtBcode");
  edtBcode->setReadOnly(true);
  TFormRows header(lytBillHeader, 2);
  header.Grid()->setContentsMargins(0, 0, 0, 0);
  lblBillDate = header.DateRow("lblBillDate", "日期", edtBdate);
  lblBillcode = header.Row("lblBillcode", "单号", edtBcode);
  auto* headerLine = new QHBoxLayout;
  headerLine->addWidget(lblBillName);
  headerLine->addStretch(1);
  headerLine->addWidget(lytBillHeader);

  lytBillMasterArea = new QWidget(pnlBillMain);
  lytBillMasterArea->setObjectName("lytBillMasterArea");
  lytBillMasterArea->setMinimumHeight(200);

  lytMain = new QWidget(pnlBillMain);
  lytMain->setObjectName("lytMain");
  mmoReMark = new QPlainTextEdit(lytMain);
  mmoReMark->setObjectName("mmoReMark");
  mmoReMark->setMinimumWidth(593);
  TFormRows remark(lytMain, 1);
  lblRemark = remark.MemoRow("lblRemark", "备   注：", mmoReMark);

  bill->addLayout(headerLine);
  bill->addWidget(lytBillMasterArea);
  bill->addWidget(lytMain, 1);

  const TBillFooter footer = MakeBillFooter(lytMainArea, "：");
  lytBillBottom = footer.row;
  lytBillBottom->setFixedHeight(24);
  edtCreateOp = footer.createOp;
  edtCreateTime = footer.createTime;
  edtUpdateOp = footer.updateOp;
  edtUpdateTime = footer.updateTime;

  MainAreaLayout()->addWidget(pnlBillMain, 1);
  MainAreaLayout()->addWidget(lytBillBottom);

  QObject::connect(edtBdate, &QLineEdit::editingFinished, this,
                   guarded([this] { edtBdateExit(); }));
  if (auto* calendar = lytBillHeader->findChild<components::TNxImgCalendarBtn*>(
          edtBdate->objectName() + "Calendar"))
    QObject::connect(calendar, &components::TNxImgCalendarBtn::ClosePopup, this,
                     guarded([this] { edtBdateExit(); }));

  cdsMaster.OnNewRecord = [this](ClientDataSet&) { cdsMasterNewRecord(); };
}

TfrmBaseBill_Master::~TfrmBaseBill_Master() {
  // Hiding the dialog later moves the focus out of a box, which must not reach this half-gone
  // window.
  QObject::disconnect(edtBdate, nullptr, this, nullptr);
  for (auto& [box, name] : numbers_)
    QObject::disconnect(box, nullptr, this, nullptr);
  watcher_.reset();
  FBndLst.reset();
}

TStatusTexts TfrmBaseBill_Master::StatusTexts() const {
  return {"保存失败，错误原因："};
}

void TfrmBaseBill_Master::FormCreate() {
  TfrmBaseFormEx::FormCreate();
  SetFMTBcdPrecision(cdsMaster);
  lblBillName->setText(windowTitle());
  cdsMaster.Close();
  cdsMaster.CreateDataSet();
  FBndLst = std::make_unique<components::TBindingList>(cdsMaster);
  watcher_ = std::make_unique<RowWatcher>(*this);
  actCdsRefreshExecute();
  AppendBill();
  BindData(mmoReMark, "ReMark");
  BindData(edtCreateOp, "CreateOp");
  BindData(edtCreateTime, "CreateTime");
  BindData(edtUpdateOp, "UpdateOP");
  BindData(edtUpdateTime, "UpdateTime");
  BindData(edtBcode, "BCode");
}

void TfrmBaseBill_Master::FormClose() {
  TfrmBaseFormEx::FormClose();
  if (cdsMaster.State() == DataSetState::Edit || cdsMaster.State() == DataSetState::Insert)
    cdsMaster.Cancel();
}

void TfrmBaseBill_Master::BindData(QWidget* control, const QString& field) {
  BindBillControl(*FBndLst, control, field);
}

void TfrmBaseBill_Master::BindNumber(TNumberBox* box, const std::string& field) {
  numbers_.emplace_back(box, field);
  QObject::connect(box, &QLineEdit::editingFinished, this, guarded([this, box] {
                     if (box->Problem().isEmpty()) PutBoxesIntoRow();
                   }));
  ShowBoxes(-1);
}

void TfrmBaseBill_Master::CheckFieldIsNotNull(ClientDataSet& dataSet, const std::string& field,
                                              const QString& caption) {
  Field* f = dataSet.FindField(field);
  if (!f || caption.isEmpty()) {
    ShowMessage("非空数据检查参数错误");
    Abort();
  }
  if (f->IsNull() || QString::fromStdString(f->AsString()).trimmed().isEmpty()) {
    ShowMessage(QString("【%1】值为空，保存被取消，请检查数据！").arg(caption));
    Abort();
  }
}

void TfrmBaseBill_Master::CheckTextLength(const QPlainTextEdit& memo, const QString& caption,
                                          int maxLength) {
  if (memo.toPlainText().size() > maxLength) {
    ShowMessage(QString("【%1】最多%2个字，保存被取消，请检查数据！").arg(caption).arg(maxLength));
    Abort();
  }
}

void TfrmBaseBill_Master::ShowBoxes(int field) {
  if (showing_ || !cdsMaster.Active()) return;
  showing_ = true;
  const bool hasRow = cdsMaster.DisplayRow() >= 0 || cdsMaster.State() == DataSetState::Insert;
  for (auto& [box, name] : numbers_) {
    Field* f = cdsMaster.FindField(name);
    if (!f || (field >= 0 && static_cast<int>(f->Index()) != field)) continue;
    box->setText(hasRow ? MoneyText(*f) : QString());
  }
  if (Field* f = cdsMaster.FindField("BDate");
      f && (field < 0 || static_cast<int>(f->Index()) == field))
    edtBdate->setText(hasRow ? qs(f->AsString()) : QString());
  showing_ = false;
  BillShown();
}

void TfrmBaseBill_Master::PutBoxesIntoRow() {
  for (const auto& [box, name] : numbers_) {
    if (!box->Problem().isEmpty()) {
      ShowMessage(box->Problem());
      box->setFocus();
      Abort();
    }
  }
  for (const auto& [box, name] : numbers_) {
    Field& f = cdsMaster.FieldByName(name);
    const bool empty = box->text().trimmed().isEmpty();
    const std::optional<Decimal> number = box->Number();
    if (empty ? f.IsNull() : (!f.IsNull() && f.AsDecimal() == *number)) continue;
    if (cdsMaster.State() == DataSetState::Browse) cdsMaster.Edit();
    Field& target = cdsMaster.FieldByName(name);
    if (empty)
      target.Clear();
    else
      target.SetValue(Value(*number));
  }
}

TBillHeader TfrmBaseBill_Master::Header() {
  return TBillHeader{cdsMaster, prefix, MasterTableName};
}

void TfrmBaseBill_Master::cdsMasterNewRecord() {
  Header().Defaults();
  FBcodeIsModifyed = false;
}

void TfrmBaseBill_Master::AppendBill() {
  cdsMaster.Append();
  newBillDefaults_.clear();
  for (std::size_t i = 0; i < cdsMaster.FieldCount(); ++i)
    newBillDefaults_.push_back(cdsMaster.FieldByIndex(i).AsValue());
}

bool TfrmBaseBill_Master::NewBillUntouched() {
  if (cdsMaster.State() != DataSetState::Insert) return false;
  for (std::size_t i = 0; i < cdsMaster.FieldCount() && i < newBillDefaults_.size(); ++i)
    if (!(cdsMaster.FieldByIndex(i).AsValue() == newBillDefaults_[i])) return false;
  return true;
}

void TfrmBaseBill_Master::edtBdateExit() {
  if (Header().TakeDate(*edtBdate)) FBcodeIsModifyed = true;
}

void TfrmBaseBill_Master::actCdsRefreshExecute() {
  cdsMaster.CancelUpdates();
  if (!cdsMaster.IsEmpty()) cdsMaster.EmptyDataSet();
  // Every stored bill: the records are made while the answer arrives.
  ClientDataSet::PacketLoad load(cdsMaster);
  doServerMethods().StreamUserDBDataBySql(CurUserInfo().UserDBID, MasterDataSql, load);
  load.Commit();
  cdsMaster.MergeChangeLog();
  FBcodeIsModifyed = false;
}

void TfrmBaseBill_Master::LeaveBill() {
  if (NewBillUntouched()) {
    cdsMaster.Cancel();
    return;
  }
  PutBoxesIntoRow();
  const DataSetState state = cdsMaster.State();
  if ((state == DataSetState::Insert) || (state == DataSetState::Edit && cdsMaster.Modified()) ||
      cdsMaster.ChangeCount() > 0) {
    ShowMessage(kUnsavedBill);
    Abort();
  }
  if (state == DataSetState::Edit) cdsMaster.Cancel();
  FBcodeIsModifyed = false;
}

void TfrmBaseBill_Master::actPriorExecute() {
  const bool inserting = cdsMaster.State() == DataSetState::Insert;
  LeaveBill();
  if (inserting)
    cdsMaster.Last();
  else
    cdsMaster.Prior();
}

void TfrmBaseBill_Master::actnextExecute() {
  if (cdsMaster.State() == DataSetState::Insert) return;  // already on a new bill
  LeaveBill();
  cdsMaster.Next();
  if (cdsMaster.Eof()) AppendBill();
}

void TfrmBaseBill_Master::CdsMasterApplyUpdate() {
  PutBoxesIntoRow();
  actCheckDataExecute();
  // A new bill (also one whose earlier save was refused) or a new date takes the code the
  // service gives now: another user may have taken the one shown.
  const bool newBill = cdsMaster.State() == DataSetState::Insert ||
                       cdsMaster.RecordUpdateStatus() == UpdateStatus::Inserted;
  if (newBill || FBcodeIsModifyed) Header().RenewCode();
  if (cdsMaster.State() == DataSetState::Edit || cdsMaster.State() == DataSetState::Insert) {
    Header().Stamp();
    cdsMaster.Post();
  }
  if (cdsMaster.ChangeCount() == 0) return;
  // A refusal keeps the change pending and the bill on screen: the next save sends it again.
  CheckStatus(doServerMethods().SaveUserDBDataByDelta(CurUserInfo().UserDBID, MasterTableName,
                                                      "bid", cdsMaster.GetDelta()),
              StatusTexts());
  cdsMaster.MergeChangeLog();
  if (newBill || FBcodeIsModifyed) Header().TakeStoredCode();
  FBcodeIsModifyed = false;
}

void TfrmBaseBill_Master::actSaveAndNewExecute() {
  CdsMasterApplyUpdate();
  AppendBill();
}

void TfrmBaseBill_Master::actSaveAndCloseExecute() {
  CdsMasterApplyUpdate();
  close();
}

void TfrmBaseBill_Master::actDelBillExecute() {
  if (cdsMaster.State() == DataSetState::Insert) {
    ShowMessage(kNewBillNoDelete);
    Abort();
  }
  if (cdsMaster.ChangeCount() > 0) {
    // A refused save is still pending; it must not go along with the delete.
    ShowMessage(kUnsavedBill);
    Abort();
  }
  if (!ConfirmWarning(kDeleteConfirm)) return;
  if (cdsMaster.State() == DataSetState::Edit) cdsMaster.Cancel();
  cdsMaster.Delete();
  if (!StatusOk(doServerMethods().SaveUserDBDataByDelta(CurUserInfo().UserDBID, MasterTableName,
                                                        "bid", cdsMaster.GetDelta()),
                StatusTexts())) {
    // Refused: the bill is still stored, so it comes back.
    cdsMaster.CancelUpdates();
    return;
  }
  cdsMaster.MergeChangeLog();
  if (cdsMaster.IsEmpty()) AppendBill();
}
