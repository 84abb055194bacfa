#pragma once
// TfrmBaseForm: the root of the module windows that are not modal edit dialogs.
//
// How a descendant uses it:
// - Derive, build the widgets in the constructor, set the caption and the fields in FormCreate()
//   and then call the inherited FormCreate().
// - The window frees itself when it is closed (open it with `new`, show it, forget it); a
//   descendant that must outlive closing overrides FormClose() without calling this one.
// - Escape closes the window once the focused control has left the key alone; a descendant that
//   handles keys itself overrides keyPressEvent() and passes what it does not use to this one.
// - Call SetFMTBcdPrecision(cds) from FormCreate() on a data set with decimal fields defined in
//   code, before its first packet is loaded.

#include "vlt/dataset.h"
#include "vlt/host.h"

class TfrmBaseForm : public vlt::host::TForm {
  Q_OBJECT
 public:
  explicit TfrmBaseForm(QWidget* owner = nullptr);
  ~TfrmBaseForm() override;

  // Close handler: makes the closed window free itself. Descendants that extend it call this one.
  virtual void FormClose();
  // Destroy handler: runs when the closed window frees itself, while it is still whole. Nothing
  // to do here; descendants extend it.
  virtual void FormDestroy() {}

  // Widens every decimal field definition of the data set to 25 digits so that no amount the
  // service sends is refused as too wide; other definitions stay as they are.
  static void SetFMTBcdPrecision(vlt::ClientDataSet& DataSet);

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};
