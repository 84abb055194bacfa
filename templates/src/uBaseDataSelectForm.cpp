#include "uBaseDataSelectForm.h"

#include <QActionGroup>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "tplwidgets.h"
#include "vlt/errors.h"
#include "vlt/gridexport.h"
#include "vlt/sqltext.h"

VLT_REGISTER_CLASS(uBaseDataSelectForm, TfrmBaseDataSelectForm);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::components;
using namespace vlt::templates;

namespace {

// A small button inside the filter box.
QToolButton* innerButton(QWidget* box, const char* name, ToolIcon icon, QAction* action,
                         const QString& tip) {
  auto* b = new QToolButton(box);
  b->setObjectName(QString::fromLatin1(name));
  b->setIcon(QIcon(ToolIconPixmap(icon, 14)));
  b->setToolTip(tip);
  b->setCursor(Qt::ArrowCursor);
  b->setFocusPolicy(Qt::NoFocus);
  b->setAutoRaise(true);
  b->setFixedSize(20, 20);
  QObject::connect(b, &QToolButton::clicked, action, guarded([action] { action->trigger(); }));
  return b;
}

// Switches a grid link off for a bulk change of its data set and on again, also when the change
// throws.
class LinkOff {
 public:
  explicit LinkOff(DataSetTableModel* link) : link_(link) {
    if (link_) link_->SetActive(false);
  }
  ~LinkOff() {
    if (link_) link_->SetActive(true);
  }
  LinkOff(const LinkOff&) = delete;
  LinkOff& operator=(const LinkOff&) = delete;

 private:
  DataSetTableModel* link_;
};

}  // namespace

TfrmBaseDataSelectForm::TfrmBaseDataSelectForm(QWidget* owner) : TfrmBaseForm(owner) {
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setFixedSize(315, 412);

  actOK = MakeAction(this, "actOK", "确定", {}, [this] { actOKExecute(); });
  actModify = MakeAction(this, "actModify", "编辑", {}, [this] { actModifyExecute(); });
  actSearch = MakeAction(this, "actSearch", "actSearch", {}, [this] { actSearchExecute(); });
  actClearFilterText = MakeAction(this, "actClearFilterText", "actClearFilterText", {},
                                  [this] { actClearFilterTextExecute(); });
  actRefresh = MakeAction(this, "actRefresh", "刷新", {}, [this] { actRefreshExecute(); });
  actBDSelect = new QActionGroup(this);
  actBDSelect->setObjectName("actBDSelect");
  actBDSelect->setExclusionPolicy(QActionGroup::ExclusionPolicy::None);
  for (QAction* a : {actOK, actModify, actSearch, actClearFilterText, actRefresh})
    actBDSelect->addAction(a);

  pnlSelect_Main = new QFrame(this);
  pnlSelect_Main->setObjectName("pnlSelect_Main");

  layTop = new QWidget(pnlSelect_Main);
  layTop->setObjectName("layTop");
  layTop->setFixedHeight(25);
  edtfilter = new QLineEdit(layTop);
  edtfilter->setObjectName("edtfilter");
  edtfilter->setPlaceholderText("输入文字过滤");
  edtfilter->installEventFilter(this);
  btnSearch = innerButton(edtfilter, "btnSearch", ToolIcon::Search, actSearch, "过滤");
  btnSearch->setText("过滤");
  btnclear = innerButton(edtfilter, "btnclear", ToolIcon::Clear, actClearFilterText, "清除");
  auto* inner = new QHBoxLayout(edtfilter);
  inner->setContentsMargins(0, 0, 2, 0);
  inner->setSpacing(0);
  inner->addStretch(1);
  inner->addWidget(btnSearch);
  inner->addWidget(btnclear);
  // Typed text stops short of the two buttons.
  edtfilter->setTextMargins(0, 0, 42, 0);
  auto* top = new QHBoxLayout(layTop);
  top->setContentsMargins(0, 0, 0, 0);
  top->setSpacing(4);
  top->addWidget(edtfilter, 1);

  grd = new TNxStringGrid(pnlSelect_Main);
  grd->setObjectName("grd");
  grd->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grd->SetRowHeight(21);
  FlnkGrd = &grd->Link();
  connect(grd, &TNxStringGrid::KeyDown, this,
          guarded([this](int key, Qt::KeyboardModifiers shift, bool& handled) {
            grdKeyDown(key, shift, handled);
          }));

  // The bottom strip is full; the export button sits beside the filter box.
  btnExport = ExportMenuButton(grd, layTop);
  btnExport->setFixedSize(44, 25);
  top->addWidget(btnExport);

  LytSelecct_Bottom = new QWidget(pnlSelect_Main);
  LytSelecct_Bottom->setObjectName("LytSelecct_Bottom");
  LytSelecct_Bottom->setFixedHeight(30);
  btnModify = ActionButton(actModify, LytSelecct_Bottom, "btnModify", 80);
  btnRefresh = ActionButton(actRefresh, LytSelecct_Bottom, "btnRefresh", 100);
  btn1 = ActionButton(actOK, LytSelecct_Bottom, "btn1", 100);
  auto* bottom = new QHBoxLayout(LytSelecct_Bottom);
  bottom->setContentsMargins(0, 0, 0, 0);
  bottom->setSpacing(6);
  bottom->addWidget(btnModify);
  bottom->addStretch(1);
  bottom->addWidget(btnRefresh);
  bottom->addWidget(btn1);

  auto* main = new QVBoxLayout(pnlSelect_Main);
  main->setContentsMargins(6, 6, 6, 6);
  main->setSpacing(6);
  main->addWidget(layTop);
  main->addWidget(grd, 1);
  main->addWidget(LytSelecct_Bottom);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->addWidget(pnlSelect_Main);
}

TfrmBaseDataSelectForm::~TfrmBaseDataSelectForm() {
  edtfilter->removeEventFilter(this);
  // The grid listens to the rows; it goes before they do.
  delete grd;
}

void TfrmBaseDataSelectForm::FormShow() {
  TfrmBaseForm::FormShow();
  edtfilter->setFocus();
  RefreBaseData();
}

void TfrmBaseDataSelectForm::RefreBaseData() {
  cdsSelectData.LoadFromPacket(
      doServerMethods().GetUserDBDataBySql(CurUserInfo().UserDBID, FOpenBaseDataSql));
}

void TfrmBaseDataSelectForm::actRefreshExecute() {
  RefreBaseData();
}

void TfrmBaseDataSelectForm::actSearchExecute() {
  CdsFilter();
}

void TfrmBaseDataSelectForm::actClearFilterTextExecute() {
  edtfilter->clear();
  CdsFilter();
}

void TfrmBaseDataSelectForm::CdsFilter() {
  LinkOff off(FlnkGrd);
  cdsSelectData.SetFiltered(false);
  cdsSelectData.SetFilter("");
  // Nothing loaded, nothing to narrow (the expression could not even name its column yet).
  if (!cdsSelectData.Active()) return;
  // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "%" + std::string.
  std::string pattern = "%";
  pattern += ss(edtfilter->text().trimmed());
  pattern += '%';
  const std::string expression = FFilterStr + quotedStr(pattern);
  cdsSelectData.SetFilter(expression);
  cdsSelectData.SetFiltered(true);
}

void TfrmBaseDataSelectForm::ClearFilterState() {
  edtfilter->clear();
  cdsSelectData.SetFiltered(false);
  cdsSelectData.SetFilter("");
}

void TfrmBaseDataSelectForm::edtfilterKeyUp(int key, Qt::KeyboardModifiers) {
  if (key == Qt::Key_Down && cdsSelectData.Active() && !cdsSelectData.IsEmpty()) {
    grd->setFocus();
    cdsSelectData.First();
    grd->SelectCell(0, 0);
  }
  if (!edtfilter->text().isEmpty()) {
    CdsFilter();
  } else if (cdsSelectData.Filtered()) {
    cdsSelectData.SetFiltered(false);
    cdsSelectData.SetFilter("");
  }
}

void TfrmBaseDataSelectForm::grdKeyDown(int key, Qt::KeyboardModifiers, bool& handled) {
  if (key == Qt::Key_Up && grd->SelectedRow() == 0) {
    handled = true;
    edtfilter->setFocus();
  }
}

bool TfrmBaseDataSelectForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edtfilter && event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    // One key-up per key, as the user lets go; held keys repeat their presses only.
    if (!key->isAutoRepeat()) {
      const int code = key->key();
      const Qt::KeyboardModifiers mods = key->modifiers();
      guarded([this, code, mods] { edtfilterKeyUp(code, mods); })();
    }
  }
  return TfrmBaseForm::eventFilter(watched, event);
}

void TfrmBaseDataSelectForm::BindGridPick(QAction* action) {
  connect(grd, &TNxStringGrid::CellDblClick, this, guarded([action] { action->trigger(); }));
  // Connected after the template's own key handler, so it runs second.
  connect(grd, &TNxStringGrid::KeyDown, this,
          guarded([action](int key, Qt::KeyboardModifiers, bool& handled) {
            if (handled || (key != Qt::Key_Return && key != Qt::Key_Enter)) return;
            handled = true;
            action->trigger();
          }));
}
