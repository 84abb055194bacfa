#include "uBaseForm.h"

#include <QCloseEvent>
#include <QKeyEvent>

VLT_REGISTER_CLASS(uBaseForm, TfrmBaseForm);

using namespace vlt;
using namespace vlt::host;

TfrmBaseForm::TfrmBaseForm(QWidget* owner) : TForm(owner) {
  setWindowTitle("Form1");
  resize(640, 480);
}

TfrmBaseForm::~TfrmBaseForm() = default;

bool TfrmBaseForm::event(QEvent* event) {
  if (event->type() == QEvent::DeferredDelete) guarded([this] { FormDestroy(); })();
  return TForm::event(event);
}

void TfrmBaseForm::FormClose() {
  setAttribute(Qt::WA_DeleteOnClose, true);
}

void TfrmBaseForm::closeEvent(QCloseEvent* event) {
  guarded([this] { FormClose(); })();
  TForm::closeEvent(event);
}

void TfrmBaseForm::keyPressEvent(QKeyEvent* event) {
  // The key reaches the window only when the focused control did not use it.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    close();
    return;
  }
  TForm::keyPressEvent(event);
}

void TfrmBaseForm::SetFMTBcdPrecision(ClientDataSet& DataSet) {
  // Only definitions made in code are touched: asking for them turns a packet's fields into
  // persistent ones, which a data set without decimals must not suffer.
  bool any = false;
  for (const FieldDef& f : DataSet.Fields())
    if (f.type == DataType::Decimal) any = true;
  if (!any) return;
  for (FieldDef& f : DataSet.FieldDefinitions())
    if (f.type == DataType::Decimal) f.precision = 25;
}
