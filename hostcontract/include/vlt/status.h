#pragma once
// The one place that turns the status a change returns ("0", or the reason it was refused) into
// what the user reads. Every window that saves or deletes sends its change and hands the status
// here instead of comparing it itself:
//
//   const std::string status = doServerMethods().doUserDBDataBySql(set, sql);
//   CheckStatus(status, {"保存失败，错误原因：", "该基础资料名称已经录入，请查证！"});
//   // only reached on success
//
// A refusal is shown once and ends the handler with the silent abort; StatusOk() is the same
// for the few handlers that must carry on after a refusal. The service's own refusals (Chinese)
// are shown as they are; the database's (English, naming tables and columns) become a plain
// Chinese message and go to the log; the stale-row refusal loses its table and key.

#include <QString>
#include <string>
#include <utility>

namespace vlt::host {

// What a window says about a refused change.
struct TStatusTexts {
  TStatusTexts() = default;
  TStatusTexts(QString prefixText, QString duplicateText = QString())
      : prefix(std::move(prefixText)), duplicate(std::move(duplicateText)) {}

  // Put before the refusal's own text ("保存失败，错误原因："); empty shows the text alone.
  QString prefix;
  // Shown instead of the text when the refusal is a duplicate key; empty treats it like others.
  QString duplicate;
};

// The text the stale-row refusal starts with: the row changed or went since it was read.
inline constexpr const char* kStaleRowText = "数据已被其他用户修改或删除，请刷新后重试";

// Whether the status means success.
bool IsSuccessStatus(const std::string& status);
// The message for a refused change ("" for success).
QString StatusMessage(const std::string& status, const TStatusTexts& texts = {});
// Returns on success; otherwise shows the message and aborts the handler.
void CheckStatus(const std::string& status, const TStatusTexts& texts = {});
// True on success; otherwise shows the message and returns false.
bool StatusOk(const std::string& status, const TStatusTexts& texts = {});

}  // namespace vlt::host
