#pragma once
// The four kinds of a person-card entry and the three category lists, with the texts and the
// cash direction each one carries. Every window of the package takes its captions from here.

#include <QString>
#include <string>

namespace vlt::persioncard {

// An entry kind: 1 income, 2 expense, 3 credit-card spending, 4 credit-card repayment.
struct TEntryKind {
  int kind;
  const char* button;     // the frame's button
  const char* caption;    // the list's and the entry window's caption
  const char* typeLabel;  // the category column and label
  const char* amtLabel;   // the amount label of the entry window
  int direct;             // effect on the cash balance
  int categoryKind;       // the category list the drop-down offers
  const char* flowText;   // the type text of the flow report
};

// A category list: 1 income categories, 2 expense categories, 3 credit-card names.
struct TCategoryKind {
  int kind;
  const char* listCaption;
  const char* column;
  const char* editCaption;
  const char* nameLabel;
  int direct;
};

// The kind's texts; throws vlt::Error for a kind outside 1..4 (1..3).
const TEntryKind& EntryKind(int kind);
const TCategoryKind& CategoryKind(int kind);

// Longest texts the ledger's columns hold (characters).
inline constexpr int kCategoryLength = 384;
inline constexpr int kCardTypeNameLength = 512;
inline constexpr int kRemarkLength = 1536;

// The signed-in user's login ID as a quoted literal, for the UserID conditions.
std::string QuotedLogin();

// The problem with an amount typed for `label`, or empty when it is a number of at most two
// decimals that fits the amount column (DECIMAL(13,2)), not negative.
QString AmountProblem(const QString& label, const QString& text);

}  // namespace vlt::persioncard
