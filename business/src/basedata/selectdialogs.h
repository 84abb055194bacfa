#pragma once
// What the base-data selection dialogs of the module share: the row of filter choices over the
// list, the test that a row is there to pick, reaching the opener's bill data set or box, and
// opening the matching base-data list while the dialog stays up. The client and vendor dialogs
// differ only in their captions and statement, so they share one class as well.

#include <QString>
#include <string>
#include <vector>

#include "uBaseDataSelectForm.h"
#include "vlt/dataset.h"

class QHBoxLayout;
class QRadioButton;

namespace vlt::business {

// How an opener lets a selection dialog write into one of its data sets (the bill's cdsMaster):
// a child object of the opener named after the data set, whose property kDataSetProperty holds
// the data set's address as a vlt::ClientDataSet*. The data set must outlive the child.
inline constexpr const char* kDataSetProperty = "DataSet";
QObject* PublishDataSet(QObject* form, const QString& name, ClientDataSet& dataSet);
// The data set `form` published under `name`; null when there is none.
ClientDataSet* FindFormDataSet(QWidget* form, const QString& name);

// Writes a choice into a box of the opener: its text shows `name`, its "TagString" keeps `id`.
void SetBoxChoice(QObject& box, const QString& name, const QString& id);

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
  // The opener's bill data set "cdsMaster", ready to take values: in edit or insert state.
  // Throws when the opener published none.
  ClientDataSet& ParentMasterForEdit();
  // Opens a base-data list window of this package ("uBaseDataUnit.TfrmBaseDataUnit") with no
  // owner, so that missing data can be added while this dialog stays open.
  void OpenBaseDataList(const QString& qualifiedName);

 private:
  QHBoxLayout* filterKindLayout_;
};

// The client and vendor dialogs: one list of td_Trader narrowed to clients or vendors. The
// choice goes into the opener's bill data set (TraderID, TraderName and, where the bill keeps
// one, NowBalance), or without an opener into GlobalDM().cdsSelectResult (id, name, balance).
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
