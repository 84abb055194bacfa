#pragma once
// Shared by the component tests: a small goods list, the exceptions the application handler
// receives, and the warnings Qt prints (the model tester reports its findings that way).

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <ostream>
#include <string>
#include <vector>

#include "../core/dataset_fixtures.h"
#include "vlt/components.h"
#include "vlt/host.h"

// Readable failure messages for Qt's texts.
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
inline void PrintTo(const QStringList& l, std::ostream* os) {
  *os << '[' << l.join(QStringLiteral(" | ")).toStdString() << ']';
}

namespace vlt::test {

// Goods: ID, Code, Name, Price (decimal 11,2), Qty (integer), IsStop (flag text), Remark.
inline FieldDefs goodsFields() {
  return FieldDefs{stringField("ID", 15),        stringField("Code", 20), stringField("Name", 80),
                   decimalField("Price", 11, 2), intField("Qty"),         stringField("IsStop", 8),
                   stringField("Remark", 100)};
}

inline Packet goodsPacket(int rows) {
  Packet p;
  p.fields = goodsFields();
  p.rows.reserve(static_cast<std::size_t>(rows));
  for (int i = 1; i <= rows; ++i) {
    const std::string n = std::to_string(i);
    p.rows.push_back(Row{Value("G" + n), Value("C" + n), Value("Goods " + n),
                         Value(Decimal(i * 125, 2)), Value(std::int32_t{i}),
                         Value(i % 2 == 0 ? "True" : "False"), Value()});
  }
  return p;
}

inline std::vector<components::TColumnDef> goodsColumns() {
  using components::TColumnDef;
  return {TColumnDef{"Code", "编码", 60, true, true},
          TColumnDef{"name", "名称", 120, true, false},  // members match without case
          TColumnDef{"Price", "价格", 70, true, false},
          TColumnDef{"Qty", "数量", 50, true, false},
          TColumnDef{"IsStop", "停用", 40, true, true},
          TColumnDef{"ID", "ID", 30, false, true},
          TColumnDef{"NoSuchField", "空", 40, true, false}};
}

// Collects the messages of the exceptions the application exception handler receives.
class CaughtExceptions {
 public:
  CaughtExceptions() {
    host::SetApplicationExceptionHandler(
        [this](const std::exception& e) { messages << QString::fromUtf8(e.what()); });
  }
  ~CaughtExceptions() { host::SetApplicationExceptionHandler(nullptr); }
  CaughtExceptions(const CaughtExceptions&) = delete;
  CaughtExceptions& operator=(const CaughtExceptions&) = delete;
  QStringList messages;
};

// Collects Qt's warnings while it lives.
class QtWarnings {
 public:
  QtWarnings() : previous_(qInstallMessageHandler(&QtWarnings::handle)) { list().clear(); }
  ~QtWarnings() { qInstallMessageHandler(previous_); }
  QtWarnings(const QtWarnings&) = delete;
  QtWarnings& operator=(const QtWarnings&) = delete;
  QStringList take() {
    QStringList out = list();
    list().clear();
    return out;
  }

 private:
  static QStringList& list() {
    static QStringList l;
    return l;
  }
  static void handle(QtMsgType type, const QMessageLogContext&, const QString& text) {
    if (type != QtDebugMsg && type != QtInfoMsg) list() << text;
  }
  QtMessageHandler previous_;
};

}  // namespace vlt::test
