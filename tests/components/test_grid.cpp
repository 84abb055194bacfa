// The string grid: its current row and the data set's cursor move together, cells are edited
// where the column allows it, keys reach the window first, and large lists stay cheap.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStyledItemDelegate>
#include <QTest>
#include <functional>
#include <stdexcept>

#include "components_fixtures.h"

using namespace vlt;
using vlt::components::TColumnDef;
using vlt::components::TNxStringGrid;

namespace {

class GridTest : public ::testing::Test {
 public:  // the cases act through it
  void SetUp() override {
    ds.LoadFromPacket(test::goodsPacket(8));
    grid.resize(640, 400);
    grid.Bind(&ds, test::goodsColumns());
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  }
  int columnOf(const char* member) const {
    const auto& cols = const_cast<TNxStringGrid&>(grid).Link().Columns();
    for (std::size_t i = 0; i < cols.size(); ++i)
      if (cols[i].member == QLatin1String(member)) return static_cast<int>(i);
    return -1;
  }
  QPoint cellCenter(int column, int row) {
    return grid.visualRect(grid.Link().index(row, column)).center();
  }
  void click(int column, int row) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cellCenter(column, row));
  }
  QLineEdit* editor() const { return grid.viewport()->findChild<QLineEdit*>(); }

  test::CaughtExceptions caught;
  ClientDataSet ds;
  TNxStringGrid grid;
};

}  // namespace

TEST_F(GridTest, TheCurrentRowFollowsTheDataSetsCursor) {
  struct Case {
    const char* what;
    std::function<void(ClientDataSet&)> run;
  };
  const Case cases[] = {
      {"record number", [](ClientDataSet& d) { d.SetRecNo(3); }},
      {"last", [](ClientDataSet& d) { d.Last(); }},
      {"append", [](ClientDataSet& d) { d.Append(); }},
      {"cancel", [](ClientDataSet& d) { d.Cancel(); }},
      {"first then insert",
       [](ClientDataSet& d) {
         d.First();
         d.Next();
         d.Insert();
       }},
      {"post", [](ClientDataSet& d) { d.Post(); }},
      {"delete", [](ClientDataSet& d) { d.Delete(); }},
      {"locate", [](ClientDataSet& d) { d.Locate("Code", Value("C7")); }},
      {"filter",
       [](ClientDataSet& d) {
         d.SetFilter("Qty<4");
         d.SetFiltered(true);
       }},
      {"empty", [](ClientDataSet& d) { d.EmptyDataSet(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.run(ds);
    EXPECT_EQ(grid.SelectedRow(), ds.DisplayRow());
    if (ds.DisplayRow() >= 0) {
      EXPECT_TRUE(grid.selectionModel()->isRowSelected(ds.DisplayRow()));
      EXPECT_EQ(grid.selectionModel()->selectedRows().size(), 1);
    }
  }
}

TEST_F(GridTest, MovingInTheGridMovesTheDataSet) {
  struct Case {
    const char* what;
    std::function<void(GridTest&)> act;
    int recNo;
    int column;
  };
  const Case cases[] = {
      {"click", [](GridTest& t) { t.click(2, 3); }, 4, 2},
      {"down", [](GridTest& t) { QTest::keyClick(&t.grid, Qt::Key_Down); }, 5, 2},
      {"up twice",
       [](GridTest& t) {
         QTest::keyClick(&t.grid, Qt::Key_Up);
         QTest::keyClick(&t.grid, Qt::Key_Up);
       },
       3, 2},
      {"end", [](GridTest& t) { QTest::keyClick(&t.grid, Qt::Key_End, Qt::ControlModifier); }, 8,
       6},
      {"select cell", [](GridTest& t) { t.grid.SelectCell(3, 1); }, 2, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    c.act(*this);
    EXPECT_EQ(ds.RecNo(), c.recNo);
    EXPECT_EQ(grid.SelectedRow(), c.recNo - 1);
    EXPECT_EQ(grid.SelectedColumn(), c.column);
  }
  EXPECT_TRUE(caught.messages.isEmpty());
}

TEST_F(GridTest, LeavingANewRowPostsItAndARefusedPostKeepsTheRow) {
  ds.Append();
  ds.FieldByName("Code").SetAsString("NEW");
  click(0, 1);
  EXPECT_EQ(ds.State(), DataSetState::Browse);
  EXPECT_EQ(ds.RecordCount(), 9);
  EXPECT_EQ(ds.RecNo(), 2);
  EXPECT_EQ(grid.SelectedRow(), 1);

  ds.BeforePost = [](ClientDataSet&) { throw std::runtime_error("名称不能为空"); };
  ds.Append();
  click(0, 2);
  EXPECT_EQ(caught.messages, QStringList{"名称不能为空"});
  EXPECT_EQ(ds.State(), DataSetState::Insert);
  EXPECT_EQ(grid.SelectedRow(), ds.DisplayRow());
  EXPECT_EQ(grid.SelectedRow(), 9);
  ds.BeforePost = nullptr;
}

TEST_F(GridTest, CellsAreEditedOnlyWhereTheColumnAllows) {
  struct Case {
    const char* what;
    const char* member;
    bool byTyping;  // else by double click
    const char* text;
    bool editable;
    const char* field;
    const char* stored;
  };
  const Case cases[] = {
      {"double click a name", "name", false, "Rice", true, "Name", "Rice"},
      {"type a price", "Price", true, "9.5", true, "Price", "9.5"},
      {"double click a read-only code", "Code", false, "X", false, "Code", "C3"},
      {"type into a read-only flag", "IsStop", true, "X", false, "IsStop", "False"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.Cancel();
    ds.First();
    const int column = columnOf(c.member);
    QSignalSpy done(&grid, &TNxStringGrid::EditingDone);
    QSignalSpy dbl(&grid, &TNxStringGrid::CellDblClick);
    const QString text = QString::fromUtf8(c.text);
    if (c.byTyping) {
      grid.SelectCell(column, 2);
      QTest::keyClick(&grid, text.at(0).toLatin1());
    } else {
      // What a mouse delivers: a click, then the double click.
      QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cellCenter(column, 2));
      QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cellCenter(column, 2));
    }
    QLineEdit* e = editor();
    ASSERT_EQ(e != nullptr && e->isVisible(), c.editable);
    EXPECT_EQ(dbl.count(), c.byTyping ? 0 : 1);
    if (c.editable) {
      e->selectAll();
      QTest::keyClicks(e, text);
      QTest::keyClick(e, Qt::Key_Return);
      QApplication::processEvents();  // the editor commits after the key
      ASSERT_EQ(done.count(), 1);
      EXPECT_EQ(done.at(0).at(0).toInt(), column);
      EXPECT_EQ(done.at(0).at(1).toInt(), 2);
      EXPECT_EQ(ds.State(), DataSetState::Edit);
    } else {
      EXPECT_EQ(done.count(), 0);
      EXPECT_EQ(ds.State(), DataSetState::Browse);
    }
    EXPECT_EQ(ds.RecNo(), 3);
    EXPECT_EQ(ds.FieldByName(c.field).AsString(), c.stored);
    QApplication::processEvents();  // let the closed editor go
  }
  EXPECT_TRUE(caught.messages.isEmpty());
}

TEST_F(GridTest, KeysReachTheWindowBeforeTheGrid) {
  struct Case {
    const char* what;
    std::function<void(bool&)> handler;
    int recNo;
    int errors;
  };
  const Case cases[] = {
      {"not handled", [](bool&) {}, 2, 0},
      {"handled", [](bool& handled) { handled = true; }, 1, 0},
      {"handler fails", [](bool&) { throw std::runtime_error("boom"); }, 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ds.First();
    caught.messages.clear();
    std::vector<int> keys;
    auto connection = QObject::connect(&grid, &TNxStringGrid::KeyDown,
                                       [&](int key, Qt::KeyboardModifiers, bool& handled) {
                                         keys.push_back(key);
                                         c.handler(handled);
                                       });
    QTest::keyClick(&grid, Qt::Key_Down);
    QObject::disconnect(connection);
    EXPECT_EQ(keys, std::vector<int>{Qt::Key_Down});
    EXPECT_EQ(ds.RecNo(), c.recNo);
    EXPECT_EQ(caught.messages.size(), c.errors);
  }
}

TEST_F(GridTest, ClicksAreReportedAndTheirHandlersCannotBreakTheGrid) {
  std::vector<std::pair<int, int>> clicks;
  QObject::connect(&grid, &TNxStringGrid::CellClick, [&](int column, int row) {
    clicks.emplace_back(column, row);
    throw std::runtime_error("handler failed");
  });
  click(3, 4);
  EXPECT_EQ(clicks, (std::vector<std::pair<int, int>>{{3, 4}}));
  EXPECT_EQ(caught.messages, QStringList{"handler failed"});
  EXPECT_EQ(ds.RecNo(), 5);
}

TEST_F(GridTest, BindingAppliesTheColumnsAndUnbindingLetsGo) {
  const auto cols = test::goodsColumns();
  for (std::size_t i = 0; i < cols.size(); ++i) {
    const int c = static_cast<int>(i);
    EXPECT_EQ(grid.isColumnHidden(c), !cols[i].visible) << c;
    if (cols[i].visible) {
      EXPECT_EQ(grid.columnWidth(c), cols[i].width) << c;
    }
  }
  grid.SetRowHeight(30);
  EXPECT_EQ(grid.rowHeight(5), 30);
  // Reloading the rows keeps the columns as they were set up.
  ds.LoadFromPacket(test::goodsPacket(3));
  EXPECT_TRUE(grid.isColumnHidden(columnOf("ID")));
  EXPECT_EQ(grid.columnWidth(columnOf("name")), 120);
  EXPECT_EQ(grid.rowHeight(2), 30);
  grid.Bind(nullptr, {});
  EXPECT_EQ(grid.Link().rowCount(), 0);
  ds.Last();
  EXPECT_EQ(grid.SelectedRow(), -1);
}

// The header measures each caption once, yet follows what changes its size: another caption (a
// two-line one), a larger font.
TEST_F(GridTest, TheHeaderIsAsTallAsItsCaptionsInTheirFont) {
  QHeaderView* header = grid.horizontalHeader();
  QHeaderView plain(Qt::Horizontal);
  plain.setModel(&grid.Link());
  const int oneLine = plain.sizeHint().height();
  EXPECT_EQ(header->sizeHint().height(), oneLine);

  auto cols = test::goodsColumns();
  cols[1].header = QStringLiteral("两行\n标题");
  grid.Bind(&ds, cols);
  QHeaderView tall(Qt::Horizontal);
  tall.setModel(&grid.Link());
  EXPECT_GT(tall.sizeHint().height(), oneLine);
  EXPECT_EQ(header->sizeHint().height(), tall.sizeHint().height());

  const int before = header->sizeHint().height();
  QFont larger = header->font();
  larger.setPointSizeF(larger.pointSizeF() * 2);
  header->setFont(larger);
  EXPECT_GT(header->sizeHint().height(), before);
}

namespace {

// Counts what the grid asks of its cells: painting and measuring.
class CountingDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* p, const QStyleOptionViewItem& o, const QModelIndex& i) const override {
    ++paints;
    QStyledItemDelegate::paint(p, o, i);
  }
  QSize sizeHint(const QStyleOptionViewItem& o, const QModelIndex& i) const override {
    ++measures;
    return QStyledItemDelegate::sizeHint(o, i);
  }
  mutable int paints = 0;
  mutable int measures = 0;
};

}  // namespace

TEST(GridScale, AHundredThousandRowsArePaintedOnlyWhereVisible) {
  ClientDataSet ds;
  ds.LoadFromPacket(test::goodsPacket(100000));
  CountingDelegate delegate;
  TNxStringGrid grid;
  grid.setItemDelegate(&delegate);
  grid.resize(800, 500);
  grid.Bind(&ds, test::goodsColumns());
  grid.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
  EXPECT_EQ(grid.Link().rowCount(), 100000);
  EXPECT_EQ(grid.verticalHeader()->length(), 100000 * grid.RowHeight());
  const int visibleCells = (500 / grid.RowHeight() + 2) * grid.Link().columnCount();

  delegate.paints = delegate.measures = 0;
  grid.grab();
  EXPECT_GT(delegate.paints, 0);
  EXPECT_LE(delegate.paints, visibleCells);

  delegate.paints = 0;
  ds.Last();  // the grid scrolls to the cursor
  EXPECT_EQ(grid.SelectedRow(), 99999);
  grid.grab();
  EXPECT_LE(delegate.paints, visibleCells);
  EXPECT_EQ(grid.Link().data(grid.indexAt(QPoint(5, grid.viewport()->height() - 3))).toString(),
            "C100000");
  EXPECT_EQ(delegate.measures, 0);  // no row is ever measured
}

TEST_F(GridTest, ColumnDefinitionsSayHowCellsShowAndWhatMayBeTyped) {
  using Editor = TColumnDef::Editor;
  grid.Bind(&ds, {TColumnDef("Code", "编码", 60).Edit(Editor::Code),
                  TColumnDef("Price", "单价", 70).Number(3).Edit(Editor::Number),
                  TColumnDef("Qty", "数量", 50).Number(0), TColumnDef("IsStop", "停用", 40).YesNo(),
                  TColumnDef("IsStop", "停", 40).Check().Edit(), TColumnDef("Remark", "备注", 80)});
  QAbstractItemModel& m = grid.Link();
  const int left = Qt::AlignLeft | Qt::AlignVCenter, right = Qt::AlignRight | Qt::AlignVCenter;
  const int center = Qt::AlignCenter;
  struct Cell {
    int column;
    QString shown;  // of the second goods: code C2, price 2.50, qty 2, stopped
    int align;
    bool typed;  // the user may type into it
  };
  const Cell cells[] = {{0, "C2", left, true},    {1, "2.500", right, true}, {2, "2", right, false},
                        {3, "是", center, false}, {4, "", center, false},    {5, "", left, false}};
  for (const Cell& c : cells) {
    SCOPED_TRACE(c.column);
    const QModelIndex at = m.index(1, c.column);
    EXPECT_EQ(m.data(at).toString(), c.shown);
    EXPECT_EQ(m.data(at, Qt::TextAlignmentRole).toInt(), c.align);
    EXPECT_EQ(m.flags(at).testFlag(Qt::ItemIsEditable), c.typed);
  }
  EXPECT_EQ(m.data(m.index(0, 3)).toString(), "否");
  // The editor starts from the stored value, not the shown one.
  EXPECT_EQ(m.data(m.index(1, 1), Qt::EditRole).toString(), "2.5");

  // The check column shows and sets the flag.
  const QModelIndex check = m.index(1, 4);
  EXPECT_EQ(m.data(check, Qt::CheckStateRole).toInt(), Qt::Checked);
  EXPECT_TRUE(m.flags(check).testFlag(Qt::ItemIsUserCheckable));
  ASSERT_TRUE(m.setData(check, Qt::Unchecked, Qt::CheckStateRole));
  ds.Post();
  EXPECT_EQ(ds.FieldByName("IsStop").AsString(), "False");
  EXPECT_EQ(m.data(m.index(1, 3)).toString(), "否");

  // Opens the cell's editor and types into it, as a user would.
  // The editor open now (a closed one may linger until it is deleted).
  QLineEdit* cellEditor = nullptr;
  auto typeInto = [&](int column, const char* keys) {
    const QModelIndex at = m.index(0, column);
    grid.setCurrentIndex(at);
    grid.edit(at);
    cellEditor = nullptr;
    for (QLineEdit* e : grid.viewport()->findChildren<QLineEdit*>())
      if (e->isVisible()) cellEditor = e;
    if (!cellEditor) return false;
    cellEditor->clear();
    QTest::keyClicks(cellEditor, keys);
    return true;
  };
  // A number cell takes digits and the column's decimals only.
  ASSERT_TRUE(typeInto(1, "ab1,.23456"));
  EXPECT_EQ(cellEditor->text(), "1.234");
  QTest::keyClick(cellEditor, Qt::Key_Escape);

  // A code cell reports what was typed, for the window to look the goods up.
  QSignalSpy entered(&grid, &TNxStringGrid::CodeEntered);
  ASSERT_TRUE(typeInto(0, "X9"));
  QTest::keyClick(cellEditor, Qt::Key_Return);
  QApplication::processEvents();  // the editor commits after the key
  ASSERT_EQ(entered.size(), 1);
  EXPECT_EQ(entered[0][0].toInt(), 0);
  EXPECT_EQ(entered[0][1].toInt(), 0);
  EXPECT_EQ(entered[0][2].toString(), "X9");
  EXPECT_TRUE(caught.messages.isEmpty());
}
