#include "vlt/status.h"

#include <QtGlobal>

#include "vlt/host.h"

namespace vlt::host {

namespace {

bool startsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// The service passes the database's own refusals on; they are English and name tables and
// columns the user never sees. Its own refusals (a trigger's, the service's) are Chinese.
bool isDatabaseText(const std::string& status) {
  const unsigned char first = status.empty() ? 0 : static_cast<unsigned char>(status[0]);
  return (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
}

// What a database refusal means to the user.
QString plainDatabaseMessage(const std::string& text) {
  if (contains(text, "Duplicate entry")) return "该资料已经存在，不能重复录入！";
  if (startsWith(text, "Incorrect") || startsWith(text, "Data truncated") ||
      startsWith(text, "Out of range") || startsWith(text, "Truncated incorrect"))
    return "所填的数字或日期不正确，请检查后重试。";
  if (startsWith(text, "Data too long")) return "所填的内容太长，请缩短后重试。";
  if (startsWith(text, "Cannot delete or update a parent row"))
    return "该资料已被其他资料或单据使用，不能删除或修改。";
  if (startsWith(text, "Cannot add or update a child row"))
    return "所选的关联资料已不存在，请刷新后重试。";
  if (contains(text, "cannot be null") || contains(text, "doesn't have a default value"))
    return "有必须填写的内容没有填写。";
  if (startsWith(text, "Lock wait timeout") || startsWith(text, "Deadlock"))
    return "数据正被其他用户使用，请稍后重试。";
  return "数据服务未能完成此操作，请稍后重试；如仍不成功，请联系管理员。";
}

}  // namespace

bool IsSuccessStatus(const std::string& status) {
  return status == "0";
}

QString StatusMessage(const std::string& status, const TStatusTexts& texts) {
  if (IsSuccessStatus(status)) return {};
  // The service names the table and key of a stale row; the user only needs to refresh.
  if (startsWith(status, kStaleRowText)) return QString::fromUtf8(kStaleRowText);
  if (!texts.duplicate.isEmpty() && contains(status, "Duplicate entry")) return texts.duplicate;
  if (isDatabaseText(status)) {
    // The details are for whoever looks into it, not for the user.
    qWarning("vlt: the data service refused a change: %s", status.c_str());
    return texts.prefix + plainDatabaseMessage(status);
  }
  return texts.prefix + qs(status);
}

void CheckStatus(const std::string& status, const TStatusTexts& texts) {
  if (!StatusOk(status, texts)) Abort();
}

bool StatusOk(const std::string& status, const TStatusTexts& texts) {
  if (IsSuccessStatus(status)) return true;
  ShowMessage(StatusMessage(status, texts));
  return false;
}

}  // namespace vlt::host
