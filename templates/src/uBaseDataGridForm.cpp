#include "uBaseDataGridForm.h"

#include <QAction>
#include <QMouseEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "vlt/gridexport.h"

VLT_REGISTER_CLASS(uBaseDataGridForm, TfrmBaseDataGridForm);

using namespace vlt;
using namespace vlt::host;
using namespace vlt::components;

TfrmBaseDataGridForm::TfrmBaseDataGridForm(QWidget* owner) : TfrmBaseDataForm(owner) {
  GrdMain = new TNxStringGrid(lytMainArea);
  GrdMain->setObjectName("GrdMain");
  GrdMain->setAlternatingRowColors(true);
  GrdMain->setEditTriggers(QAbstractItemView::NoEditTriggers);
  GrdMain->SetRowHeight(21);
  MainAreaLayout()->addWidget(GrdMain, 1);
  btnExport = ExportMenuButton(GrdMain, lytTop);
  btnExport->setFixedSize(80, 32);
  AddTopWidget(btnExport);
  // Anywhere in the grid, rows or not: on an empty list the modify handler says why it stops.
  GrdMain->viewport()->installEventFilter(this);
  connect(GrdMain, &TNxStringGrid::KeyDown, this,
          guarded([this](int key, Qt::KeyboardModifiers shift, bool& handled) {
            GrdMainKeyDown(key, shift, handled);
          }));
}

TfrmBaseDataGridForm::~TfrmBaseDataGridForm() {
  GrdMain->viewport()->removeEventFilter(this);
  // The grid listens to the list; it goes before the list does.
  delete GrdMain;
}

void TfrmBaseDataGridForm::FormCreate() {
  TfrmBaseDataForm::FormCreate();
  GrdMain->setFocus();
}

bool TfrmBaseDataGridForm::eventFilter(QObject* watched, QEvent* event) {
  if (watched == GrdMain->viewport() && event->type() == QEvent::MouseButtonDblClick &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    guarded([this] { GrdMainDblClick(); })();
    return true;
  }
  return TfrmBaseDataForm::eventFilter(watched, event);
}

void TfrmBaseDataGridForm::GrdMainDblClick() {
  actEdit->trigger();
}

void TfrmBaseDataGridForm::GrdMainKeyDown(int key, Qt::KeyboardModifiers, bool& handled) {
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    handled = true;
    actEdit->trigger();
  }
}
