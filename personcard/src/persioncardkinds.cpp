#include "persioncardkinds.h"

#include "amountliteral.h"
#include "vlt/errors.h"
#include "vlt/host.h"
#include "vlt/sqltext.h"

namespace vlt::persioncard {

namespace {

const TEntryKind kEntryKinds[] = {
    {1, "收入", "收入", "收入类别", "收入金额", 1, 1, "收入"},
    {2, "支出", "支出", "支出类别", "支出金额", -1, 2, "支出"},
    {3, "信用卡消费", "信用卡消费", "信用卡名", "消费金额", 0, 3, "信用卡消费"},
    // The repayment brings the cash back: direction 1, not -1.
    {4, "信用卡还款", "信用还款", "信用卡名", "还款金额", 1, 3, "信用卡还款"},
};

const TCategoryKind kCategoryKinds[] = {
    {1, "收入", "收入类别", "收入类别", "收入类别名称", 1},
    {2, "支出", "支出类别", "支出类别", "支出类别名称", -1},
    {3, "信用卡", "信用卡名", "信用卡名", "信用卡名称", -1},
};

}  // namespace

const TEntryKind& EntryKind(int kind) {
  if (kind < 1 || kind > 4) throw Error("未知的理财记录类型：" + std::to_string(kind));
  return kEntryKinds[kind - 1];
}

const TCategoryKind& CategoryKind(int kind) {
  if (kind < 1 || kind > 3) throw Error("未知的理财类别：" + std::to_string(kind));
  return kCategoryKinds[kind - 1];
}

std::string QuotedLogin() {
  return quotedStr(host::CurUserInfo().UserID);
}

QString AmountProblem(const QString& label, const QString& text) {
  const QString name = "『" + label + "』";
  switch (CheckAmount(host::ss(text)).verdict) {
    case AmountVerdict::Ok:
      return {};
    case AmountVerdict::Empty:
      return name + "不能为空！";
    case AmountVerdict::NotNumber:
      return name + "必须是数字，如 12.50";
    case AmountVerdict::Negative:
      return name + "不能是负数";
    case AmountVerdict::TooManyDecimals:
      return name + "最多只能有两位小数";
    case AmountVerdict::TooLarge:
      return name + "超出了允许的范围";
  }
  return name + "必须是数字，如 12.50";
}

}  // namespace vlt::persioncard
