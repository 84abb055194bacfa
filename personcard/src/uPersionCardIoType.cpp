#include "uPersionCardIoType.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "persioncardkinds.h"
#include "persioncardparts.h"
#include "tplwidgets.h"
#include "uPersionCardIoTypeEdit.h"
#include "vlt/components.h"
#include "vlt/status.h"

VLT_REGISTER_CLASS(uPersionCardIoType, TfrmPersionCardIoType);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::templates;
using namespace vlt::persioncard;
using vlt::components::TNxStringGrid;

TfrmPersionCardIoType::TfrmPersionCardIoType(QWidget* owner) : TfrmBaseFormEx(owner) {
  resize(640, 480);
  const TListTools tools = AddListTools(
      *this, [this] { actAddExecute(); }, [this] { actModifyExecute(); },
      [this] { actDelExecute(); });
  actAdd = tools.actAdd;
  actModify = tools.actModify;
  actDel = tools.actDel;
  btnNew = tools.btnNew;
  btnModify = tools.btnModify;
  btnDel = tools.btnDel;
  grd = new TNxStringGrid(lytMainArea);
  grd->setObjectName("grd");
  grd->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(grd, &TNxStringGrid::CellDblClick, this, guarded([this] { grdDblClick(); }));
  MainAreaLayout()->addWidget(grd, 1);
}

TfrmPersionCardIoType::~TfrmPersionCardIoType() {
  delete grd;  // the grid goes before the data set it shows
}

void TfrmPersionCardIoType::FormCreate() {
  TfrmBaseFormEx::FormCreate();
  RefreshData();
}

void TfrmPersionCardIoType::RefreshData() {
  cdsPersionIOType.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(
      CurUserInfo().UserID,
      "select Id,UserID,IOKind,IODirect,IOType from UserPersionIOType where UserID=" +
          QuotedLogin()));
}

void TfrmPersionCardIoType::FormShow() {
  FIOKind = TagString.toInt();
  const TCategoryKind& kind = CategoryKind(FIOKind);
  grd->Link().SetActive(false);
  // The filter stays in force across later reloads.
  cdsPersionIOType.SetFiltered(false);
  cdsPersionIOType.SetFilter("IOKind=" + std::to_string(FIOKind));
  cdsPersionIOType.SetFiltered(true);
  grd->Bind(&cdsPersionIOType, {{"Id", "", 0, false},
                                {"UserID", "", 0, false},
                                {"IOKind", "", 0, false},
                                {"IODirect", "", 0, false},
                                {"IOType", QString::fromUtf8(kind.column), 300}});
  grd->Link().SetActive(true);
  FIODirect = kind.direct;
  setWindowTitle(QString::fromUtf8(kind.listCaption));
}

bool TfrmPersionCardIoType::CheckBeforeEdit() {
  if (!cdsPersionIOType.Active() || cdsPersionIOType.IsEmpty() || cdsPersionIOType.RecNo() <= 0) {
    ShowMessage("没检测到需要修改的数据，请选择！");
    return false;
  }
  return true;
}

void TfrmPersionCardIoType::runEdit(const QString& mode, int id, const QString& name) {
  auto edit = CreateForm<TfrmPersionCardIoTypeEdit>(nullptr);
  edit->Tag = FIOKind;
  edit->IoTypeID = id;
  edit->IOTypeName = name;
  RunEditDialog(std::move(edit), mode, [this] { RefreshData(); });
}

void TfrmPersionCardIoType::actAddExecute() {
  runEdit("Append", 0, QString());
}

void TfrmPersionCardIoType::actModifyExecute() {
  if (!CheckBeforeEdit()) return;
  const std::int64_t id = cdsPersionIOType.FieldByName("Id").AsLargeInt();
  if (id <= 0 || id > 2147483647) throw Error("类别编号超出范围：" + std::to_string(id));
  runEdit("Edit", static_cast<int>(id), qs(cdsPersionIOType.FieldByName("IOType").AsString()));
}

void TfrmPersionCardIoType::actDelExecute() {
  if (!cdsPersionIOType.Active() || cdsPersionIOType.IsEmpty()) return;
  if (!ConfirmWarning("删除无法恢复，请确认是否真的删除？")) return;
  grd->Link().SetActive(false);
  struct Relink {
    TNxStringGrid* grid;
    ~Relink() { grid->Link().SetActive(true); }
  } relink{grd};
  cdsPersionIOType.Delete();
  const std::string status = doServerMethods().SaveSysMainDataBySql(
      CurUserInfo().UserID, "select UserID,IOKind,IODirect,IOType from UserPersionIOType where 1=0",
      cdsPersionIOType.GetDelta());
  // A refused deletion is said with its reason, and the category comes back into the list.
  if (StatusOk(status, {"删除失败，错误原因："}))
    cdsPersionIOType.MergeChangeLog();
  else
    cdsPersionIOType.CancelUpdates();
}

void TfrmPersionCardIoType::grdDblClick() {
  if (cdsPersionIOType.Active() && !cdsPersionIOType.IsEmpty()) actModifyExecute();
}

void TfrmPersionCardIoType::keyPressEvent(QKeyEvent* event) {
  TfrmBaseFormEx::keyPressEvent(event);
  if ((event->key() == Qt::Key_Up || event->key() == Qt::Key_Down) && !grd->hasFocus())
    grd->setFocus();
}
