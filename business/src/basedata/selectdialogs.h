#pragma once
// What the base-data selection dialogs of the module share: the row of filter choices over the
// list, the test that a row is there to pick, and opening the matching base-data list while the
// dialog stays up. The client and vendor dialogs differ only in their captions and statement, so
// they share one class as well.

#include <QString>
#include <string>
#include <vector>

#include "uBaseDataSelectForm.h"
#include "vlt/dataset.h"

class QHBoxLayout;
class QRadioButton;

namespace vlt::business {

class TBaseDataPickForm : public TfrmBaseDataSelectForm {
  Q_OBJECT
 public:
  explicit TBaseDataPickForm(QWidget* owner = nullptr);
  ~TBaseDataPickForm() override;

  QWidget* lytFilterKind;  // the row of filter choices between the filter box and the list

 protected:
  // A filter choice in the row. Choosing it empties the filter box, shows every row and makes
  // `filterStr` the head of the filter. The default one starts chosen; FormCreate() sets the
  // same head as FFilterStr.
  QRadioButton* AddFilterRadio(const char* name, const QString& text, std::string filterStr,
                               bool isDefault = false);
  // Whether the list shows a row to pick (nothing is loaded, or the filter hides every row).
  bool HasCurrentRow() const;
  // The current row's value as text.
  std::string PickText(const char* field);
  // Opens a base-data list window of this package ("uBaseDataUnit.TfrmBaseDataUnit") with no
  // owner, so that missing data can be added while this dialog stays open.
  void OpenBaseDataList(const QString& qualifiedName);

 private:
  QHBoxLayout* filterKindLayout_;
};

// The client and vendor dialogs: one list of td_Trader narrowed to clients or vendors. Offers the
// trader's id, name and balance; a bill takes them with TPickTarget::IntoFields(cdsMaster,
// {"TraderID", "TraderName", "NowBalance"}) (trade bills keep no NowBalance, which is skipped).
class TTraderSelectForm : public TBaseDataPickForm {
  Q_OBJECT
 public:
  TTraderSelectForm(QWidget* owner, bool isClient);
  ~TTraderSelectForm() override;

  QRadioButton* rbTname;
  QRadioButton* rbTAddr;
  QRadioButton* rbTLinkmen;

  void FormCreate() override;
  void actOKExecute() override;
  void actModifyExecute() override;

 private:
  bool isClient_;
};

}  // namespace vlt::business
