#pragma once
// TPickTarget: where a selection dialog puts the record the user picked. The opener says it
// before showing the dialog, so that a dialog never needs to know who opened it:
//
//   auto dialog = CreateForm<TfrmSelectUnit>(this);
//   dialog->Target = TPickTarget::IntoBox(*edtGoodsUnit);               // a box and its tag
//   dialog->Target = TPickTarget::IntoFields(cdsMaster, {"TraderID", "TraderName", "NowBalance"});
//   dialog->Target = TPickTarget::Calling([this](const TPickValues& v) { ... });
//   ShowModal(*dialog);
//
// The dialog offers its values in an order its header documents (always the id first and the
// name second) and calls Deliver(). A default target hands them over in
// GlobalDM().cdsSelectResult ("id", "name", "other1".. in that order).

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "vlt/dataset.h"

namespace vlt::templates {

// The values a dialog offers for the picked row: id, name, then what the dialog adds.
using TPickValues = std::vector<Value>;

class TPickTarget {
 public:
  // The hand-over data set GlobalDM().cdsSelectResult.
  TPickTarget() = default;

  // A box: its text shows the name, its "TagString" property keeps the value at `tagIndex`
  // (the id unless the dialog documents another useful one).
  static TPickTarget IntoBox(QWidget& box, std::size_t tagIndex = 0);
  // The current row of a data set (put into edit first, the bill's cdsMaster): the value at i
  // goes into fields[i]. Empty names, and names the data set has no field for, are skipped, so
  // one list serves bills with and without an optional field.
  static TPickTarget IntoFields(ClientDataSet& dataSet, std::vector<std::string> fields);
  // Anything else: the opener's own function.
  static TPickTarget Calling(std::function<void(const TPickValues&)> receiver);

  // Puts the values where the opener asked. Throws vlt::Error when the box is gone.
  void Deliver(const TPickValues& values) const;
  // Whether the opener chose a place (false: the hand-over data set).
  bool IsSet() const { return kind_ != Kind::HandOver; }

 private:
  enum class Kind { HandOver, Box, Fields, Call };
  Kind kind_ = Kind::HandOver;
  QPointer<QWidget> box_;
  std::size_t tagIndex_ = 0;
  ClientDataSet* dataSet_ = nullptr;
  std::vector<std::string> fields_;
  std::function<void(const TPickValues&)> receiver_;
};

// Writes a choice into a box: its text shows `name`, its "TagString" property keeps `tag`.
void SetBoxChoice(QObject& box, const QString& name, const QString& tag);

}  // namespace vlt::templates
