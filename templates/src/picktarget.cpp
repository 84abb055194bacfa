#include "picktarget.h"

#include <QLineEdit>

#include "tplwidgets.h"
#include "vlt/errors.h"
#include "vlt/host.h"

namespace vlt::templates {

TPickTarget TPickTarget::IntoBox(QWidget& box, std::size_t tagIndex) {
  TPickTarget t;
  t.kind_ = Kind::Box;
  t.box_ = &box;
  t.tagIndex_ = tagIndex;
  return t;
}

TPickTarget TPickTarget::IntoFields(ClientDataSet& dataSet, std::vector<std::string> fields) {
  TPickTarget t;
  t.kind_ = Kind::Fields;
  t.dataSet_ = &dataSet;
  t.fields_ = std::move(fields);
  return t;
}

TPickTarget TPickTarget::Calling(std::function<void(const TPickValues&)> receiver) {
  TPickTarget t;
  t.kind_ = Kind::Call;
  t.receiver_ = std::move(receiver);
  return t;
}

void TPickTarget::Deliver(const TPickValues& values) const {
  auto text = [&values](std::size_t i) {
    return i < values.size() ? host::qs(values[i].toText()) : QString();
  };
  switch (kind_) {
    case Kind::HandOver: {
      ClientDataSet& h = host::GlobalDM().cdsSelectResult;
      h.EmptyDataSet();
      h.Append();
      static const char* const kFields[] = {"id", "name", "other1", "other2", "other3"};
      for (std::size_t i = 0; i < values.size() && i < std::size(kFields); ++i)
        h.FieldByName(kFields[i]).SetAsString(values[i].toText());
      h.Post();
      return;
    }
    case Kind::Box:
      if (!box_) throw Error("The box to fill with the choice is gone");
      SetBoxChoice(*box_, text(1), text(tagIndex_));
      return;
    case Kind::Fields: {
      ClientDataSet& ds = *dataSet_;
      if (ds.State() != DataSetState::Edit && ds.State() != DataSetState::Insert) ds.Edit();
      for (std::size_t i = 0; i < fields_.size() && i < values.size(); ++i) {
        if (fields_[i].empty()) continue;
        if (Field* f = ds.FindField(fields_[i])) f->SetValue(values[i]);
      }
      return;
    }
    case Kind::Call:
      receiver_(values);
      return;
  }
}

void SetBoxChoice(QObject& box, const QString& name, const QString& tag) {
  if (auto* edit = qobject_cast<QLineEdit*>(&box))
    edit->setText(name);
  else
    box.setProperty("text", name);
  box.setProperty(kTagStringProperty, tag);
}

}  // namespace vlt::templates
