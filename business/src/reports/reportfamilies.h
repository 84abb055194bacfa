#pragma once
// The report families of the business package, each a report-template descendant that the
// windows of one family share; a window only names its caption, bill table and find column.
//
// - TfrmRptTradeSummary: one row per trader (quantity, amount) of one kind of goods bill, with
//   the grand total below the grid.
// - TfrmRptTradeDetail: every bill line of one kind, per trader: a heading row, the lines, a
//   subtotal row and an empty row.
// - TfrmRptBalFlow: every movement of what clients owe us or we owe vendors, per trader: the
//   opening balance, each movement with the balance after it, an empty row.
// - TfrmRptCashFlow: other incomes or expenses by date, with the grand total.
//
// Rows of the detail kinds carry sortID: -1 heading, 1 a line, 999998 subtotal, 999999 the
// empty row that closes a block.

#include <QString>
#include <string>

#include "uBaseReportForm.h"

namespace vlt::business::reports {

inline constexpr int kHeadingRow = -1;
inline constexpr int kLineRow = 1;
inline constexpr int kSubtotalRow = 999998;
inline constexpr int kSeparatorRow = 999999;

// A goods-bill report: caption, the bill's master table (lines in <table>_d) and the trader
// column's caption ("供货商名称" or "客户名称").
struct TTradeReportDef {
  const char* caption;
  const char* masterTable;
  const char* traderCaption;
};

}  // namespace vlt::business::reports

class TfrmRptTradeSummary : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  TfrmRptTradeSummary(QWidget* owner, vlt::business::reports::TTradeReportDef def);
  void FormCreate() override;
  std::string GrandTotalStatement() const override;

 protected:
  void SetOpenWhereStr() override;

 private:
  vlt::business::reports::TTradeReportDef def_;
};

class TfrmRptTradeDetail : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  TfrmRptTradeDetail(QWidget* owner, vlt::business::reports::TTradeReportDef def);
  void FormCreate() override;

 protected:
  void SetOpenWhereStr() override;

 private:
  vlt::business::reports::TTradeReportDef def_;
};

class TfrmRptBalFlow : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  // `clients`: receivables of clients; otherwise payables to vendors.
  TfrmRptBalFlow(QWidget* owner, bool clients);
  void FormCreate() override;

 protected:
  void SetOpenWhereStr() override;
  // Fills each movement's balance: the trader's opening balance (0 without an opening row)
  // plus the signed amounts up to and including the row, in exact decimals.
  void doCdsEnableControls() override;

 private:
  bool clients_;
};

class TfrmRptCashFlow : public TfrmBaseReportForm {
  Q_OBJECT
 public:
  // `incomes`: other incomes; otherwise expenses.
  TfrmRptCashFlow(QWidget* owner, bool incomes);
  void FormCreate() override;
  std::string GrandTotalStatement() const override;

 protected:
  void SetOpenWhereStr() override;

 private:
  bool incomes_;
};
