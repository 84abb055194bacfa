#pragma once
// A window's rules as a table. Each row is one rule: what the user does in a freshly opened
// window, then what must follow -- the changes sent to the service, the messages shown, what the
// boxes hold, whether the window is still open. Rows run on a host of their own, so a row never
// sees what an earlier one recorded:
//
//   auto saving = [](const char* name) {
//     return [name](TfrmBaseDataUnitEdit& w) {
//       Type(w, "edtName", name);
//       w.actSaveAndClose->trigger();
//     };
//   };
//   RunWindowRows<TfrmBaseDataUnitEdit>(
//       [](HostFixture&) { return createWindow<TfrmBaseDataUnitEdit>(kPkg, kUnitEdit, "Append"); },
//       {{"blank name refused", saving(" "), kNothingSent, {"计量单位名称不能为空！"},
//         {{"edtName", " "}}, true, {}},
//        {"saved and closed", saving("kg"), {kRun + "Insert into td_unit ..."}, {}, {}, false,
//        {}}});
//
// Test a window's rules this way rather than restating its statements line by line: keep exact
// statements where the statement itself is what the window must send.

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fakehost.h"

namespace vlt::test {

// The calls that change data (do..., Save..., CreateUserDB), as the fake proxy records them.
std::vector<std::string> ChangesSent(const FakeServerMethods& proxy);
// What a box of the window shows: a line edit's, combo box's, memo's, label's or check box's
// text ("True"/"False" for a check box). Fails the test when there is no such child.
QString BoxText(const QWidget& window, const QString& objectName);
// Types into the window's box as a user would (the box gets the focus and its text replaced).
void Type(QWidget& window, const QString& objectName, const QString& text);

// The changes a row expects, in order: a list of calls ({} or kNothingSent: none), or
// kNotChecked when the row is about something else.
struct TSent {
  TSent() = default;
  TSent(std::initializer_list<std::string> expected) : calls(expected) {}
  TSent(std::vector<std::string> expected) : calls(std::move(expected)) {}
  std::vector<std::string> calls;
  bool checked = true;
};
inline const std::vector<std::string> kNothingSent;
inline const TSent kNotChecked = [] {
  TSent s;
  s.checked = false;
  return s;
}();

template <class W>
struct WindowRow {
  std::string rule;
  std::function<void(W&)> act;
  TSent sent;
  QStringList shown;                               // the messages shown, in order
  std::vector<std::pair<QString, QString>> holds;  // box object name -> its text afterwards
  std::optional<bool> open;                        // whether the window is still shown
  std::function<void(W&, HostFixture&)> more;      // anything else to check, optional
};

// Opens a window per row with `open` (on that row's host, before anything is recorded), runs
// the row and checks it.
template <class W>
void RunWindowRows(const std::function<std::unique_ptr<W>(HostFixture&)>& open,
                   const std::vector<WindowRow<W>>& rows) {
  for (const WindowRow<W>& row : rows) {
    SCOPED_TRACE(row.rule);
    HostFixture host;
    std::unique_ptr<W> window = open(host);
    ASSERT_TRUE(window) << "the window did not open";
    host.proxy().calls.clear();
    host.ui().messages.clear();
    row.act(*window);
    if (row.sent.checked) {
      EXPECT_EQ(ChangesSent(host.proxy()), row.sent.calls);
    }
    EXPECT_EQ(host.ui().messages, row.shown);
    for (const auto& [name, text] : row.holds)
      EXPECT_EQ(BoxText(*window, name), text) << name.toStdString();
    if (row.open) {
      EXPECT_EQ(window->isVisible(), *row.open);
    }
    if (row.more) row.more(*window, host);
  }
}

}  // namespace vlt::test
