// Windows own their data sets as members and their grids as child widgets: the data set dies
// first, and the grid and bindings must let go of it rather than touch it again.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <memory>

#include "vlt/components.h"

using namespace vlt;
using namespace vlt::components;

namespace {

struct Window : QWidget {
  Window() {
    FieldDef f;
    f.name = "Name";
    f.type = DataType::String;
    f.size = 40;
    cds->FieldDefinitions().add(f);
    cds->CreateDataSet();
    cds->Append();
    cds->FieldByName("Name").SetAsString("盐");
    cds->Post();
    grid = new TNxStringGrid(this);
    grid->Bind(cds.get(), {TColumnDef("Name", "名称", 100)});
    edit = new QLineEdit(this);
    bindings = std::make_unique<TBindingList>(*cds);
    bindings->BindEdit(edit, "Name");
  }
  std::unique_ptr<TBindingList> bindings;  // destroyed after the data set below
  std::unique_ptr<ClientDataSet> cds = std::make_unique<ClientDataSet>();
  TNxStringGrid* grid;
  QLineEdit* edit;
};

}  // namespace

TEST(ComponentLifetime, GridsAndBindingsForgetADataSetThatIsDestroyed) {
  auto w = std::make_unique<Window>();
  EXPECT_EQ(w->grid->model()->rowCount(), 1);
  EXPECT_EQ(w->edit->text(), "盐");
  w->cds.reset();
  EXPECT_EQ(w->grid->model()->rowCount(), 0);
  EXPECT_EQ(w->grid->Link().DataSet(), nullptr);
  w->edit->setText("typed after");  // no data set to write into: nothing happens
  QMetaObject::invokeMethod(w->edit, "textEdited", Q_ARG(QString, "typed after"));
  w.reset();  // the grid and the bindings go without touching the dead data set
}
