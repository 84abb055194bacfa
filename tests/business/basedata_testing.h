#pragma once
// What the base-data window tests share: the account set they work in, a fixture recording what
// the windows send, a fresh host for one row of a table of cases, and the columns a grid shows.

#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <string>
#include <vector>

#include "fakehost.h"
#include "vlt/host.h"

namespace vlt::test {

// The package of the base-data windows and the account set every base-data test works in.
inline const QString kPkg = "VltBusiness.bpl";
inline constexpr const char* kDb = "10001_01";
// A statement run on that set, as the proxy records it (the statement follows).
inline const std::string kRun = std::string("doUserDBDataBySql|") + kDb + "|";

// A test on a fresh host, signed in to kDb.
class BaseDataTest : public ::testing::Test {
 protected:
  void SetUp() override { host::CurUserInfo().UserDBID = kDb; }
  FakeServerMethods& proxy() { return host.proxy(); }
  FakeHostUi& ui() { return host.ui(); }
  // The statements run on the account set, in order.
  std::vector<std::string> sent() { return proxy().callsStartingWith("doUserDB"); }

  HostFixture host;
};

// A host of its own for one row of a table of cases (nothing recorded by an earlier row), signed
// in to kDb; given a statement part, the proxy answers the statement containing it with `rows`.
class FreshHost : public HostFixture {
 public:
  FreshHost() { host::CurUserInfo().UserDBID = kDb; }
  FreshHost(const std::string& sqlPart, const Packet& rows) : FreshHost() {
    proxy().answer(sqlPart, rows);
  }
};

// "header:width" of every column the grid shows, left to right.
inline QStringList visibleColumns(const QTableView& grid) {
  QStringList out;
  const QAbstractItemModel* m = grid.model();
  for (int c = 0; c < m->columnCount(); ++c)
    if (!grid.isColumnHidden(c))
      out << m->headerData(c, Qt::Horizontal).toString() + ":" +
                 QString::number(grid.columnWidth(c));
  return out;
}

}  // namespace vlt::test
