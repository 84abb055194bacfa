#pragma once
// Building an edit window's boxes declaratively, and boxes that check what is typed.
//
// TFormRows lays caption + box pairs out on a grid, `columns` pairs side by side, in the order
// they are added (which is also the order Enter walks through them). Every caption becomes its
// box's buddy and the box's accessible name, so that screen readers name each control:
//
//   TFormRows rows(area, 2);
//   lblGoodsCode = rows.Row("lblGoodsCode", "货品编码", edtGoodsCode);
//   rows.PickRow("lblGoodsUnit", "计量单位", edtGoodsUnit, actSelectUnit, "btnSelectUnit");
//   rows.Row("lblPurPrice", "采购价", edtPurPrice = new TNumberBox(area, "edtPurPrice", "采购价"));
//   rows.DateRow("lblBillDate", "单据日期", edtBillDate = new TDateBox(area, "edtBillDate",
//   "单据日期")); rows.Cell(chkPause);                                 // a box column without a
//   caption rows.MemoRow("lblRemark", "附注说明", mmoRemark);     // the whole width, takes the
//   height left rows.TotalsRow("lytTotals", {{"lblTotalQty", "合计数量"}, {"lblTotalAmount",
//   "合计金额"}});
//
// TNumberBox and TDateBox check their text before anything is sent: in Vlt_BeforeSaveData (or a
// bill's save) call CheckBoxes({edtPurPrice, edtSalPrice, ...}), which names the box in its
// message ("采购价必须是数字"), focuses it and aborts the save.

#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QString>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vlt/decimal.h"

class QAction;
class QGridLayout;
class QPlainTextEdit;
class QToolButton;

namespace vlt::templates {

// A box that knows what it may hold and what it is called.
class TCheckedBox : public QLineEdit {
  Q_OBJECT
 public:
  TCheckedBox(QWidget* parent, const char* name, QString caption);
  const QString& Caption() const { return caption_; }
  // Why the text cannot be saved ("采购价必须是数字"); empty when it can.
  virtual QString Problem() const = 0;

 private:
  QString caption_;
};

// A number (price, quantity, amount, rate): right-aligned; empty counts as zero.
class TNumberBox : public TCheckedBox {
  Q_OBJECT
 public:
  // `decimals` digits after the point at most, `integerDigits` before it (DECIMAL(11, 2): 9, 2).
  TNumberBox(QWidget* parent, const char* name, QString caption, int decimals = 2,
             int integerDigits = 9, bool allowNegative = true);
  QString Problem() const override;
  // The number typed (zero when empty); nothing when it is not one.
  std::optional<Decimal> Number() const;
  // The number as statement text, as typed ("12.50"); "0" when empty or not a number (call
  // after the check).
  std::string SqlText() const;

 private:
  int decimals_;
  int integerDigits_;
  bool allowNegative_;
};

// A date typed as yyyy-MM-dd (the client's short date format); empty is allowed only when
// `required` is false.
class TDateBox : public TCheckedBox {
  Q_OBJECT
 public:
  TDateBox(QWidget* parent, const char* name, QString caption, bool required = true);
  QString Problem() const override;
  QDate Date() const;
  void SetDate(const QDate& date);

 private:
  bool required_;
  // The last text read as a date and what it gave: a report run reads its boxes several times,
  // and reading a date by a format is not cheap.
  mutable QString parsedText_;
  mutable QDate parsed_;
};

// Checks the boxes in order; at the first problem shows it, focuses the box and aborts.
void CheckBoxes(std::initializer_list<const TCheckedBox*> boxes);

class TFormRows {
 public:
  // Lays out into `area` (which gets the grid) `columns` caption/box pairs per line.
  explicit TFormRows(QWidget* area, int columns = 1);

  // A caption and its box in the next place; returns the caption.
  QLabel* Row(const char* labelName, const QString& caption, QWidget* box);
  // A box (read-only: a selection dialog fills it) with a "+" button for `pick` beside it.
  QLabel* PickRow(const char* labelName, const QString& caption, QLineEdit* box, QAction* pick,
                  const char* buttonName, QToolButton** button = nullptr);
  // A date box with the calendar button that sets it.
  QLabel* DateRow(const char* labelName, const QString& caption, TDateBox* box);
  // A widget in the next box column with no caption (a check box).
  void Cell(QWidget* widget);
  // A memo over the whole width that takes the height left; caption at its top.
  QLabel* MemoRow(const char* labelName, const QString& caption, QPlainTextEdit* memo);
  // A line of read-only figures over the whole width (a bill's totals): caption and value
  // labels; the value labels are returned in order, named after the given names.
  std::vector<QLabel*> TotalsRow(const char* rowName,
                                 const std::vector<std::pair<const char*, QString>>& figures);

  QGridLayout* Grid() const { return grid_; }

 private:
  // The next caption/box place, moving to a new line after the last pair.
  std::pair<int, int> next();
  QLabel* caption(const char* name, const QString& text, QWidget* box);

  QWidget* area_;
  QGridLayout* grid_;
  int columns_;
  int line_ = 0;
  int pair_ = 0;
};

// Names a box after its caption for screen readers (and makes the label its buddy).
void NameBox(QLabel* caption, QWidget* box);
// A button for an action beside a box ("+" opens a selection dialog). It never takes the focus:
// Enter keeps walking the boxes; the button is for the mouse.
QToolButton* BoxButton(QAction* action, QWidget* parent, const char* name);
// A box with widgets after it, as one widget named `rowName` to put in a row.
QWidget* BoxWithButtons(QWidget* parent, const QString& rowName, QWidget* box,
                        std::initializer_list<QWidget*> buttons);

}  // namespace vlt::templates
