#pragma once
// Window tests: a recording fake of the remote proxy and scripted user-interface services, so
// that the real windows run offscreen with their exact statements and messages observed.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vlt/host.h"

namespace vlt::test {

// A packet of text fields: packetOf({"UserID", "UserDBID"}, {{"10001", "10001_01"}}).
Packet packetOf(const std::vector<std::string>& fields,
                const std::vector<std::vector<std::string>>& rows = {});

// Records every call as "Operation|arg|arg..." (deltas as their row count) and answers:
// selects from `answer` (first rule whose text the statement contains, else an empty packet of
// no fields), statuses from `statuses` (front first, then "0").
class FakeServerMethods : public TServerMethodsClient {
 public:
  FakeServerMethods() : TServerMethodsClient("http://127.0.0.1:1") {}

  std::vector<std::string> calls;
  std::vector<Delta> deltas;                            // the deltas saved, in order
  std::vector<std::pair<std::string, Packet>> answers;  // statement part -> packet
  std::deque<std::string> statuses;
  std::map<std::string, std::string> passwords;  // login ID -> password
  std::map<std::string, Packet> profiles;        // login ID -> GetRegisUserInfo packet
  std::uint64_t nextId = 200000000000000ULL;

  void answer(const std::string& statementPart, Packet p) {
    answers.emplace_back(statementPart, std::move(p));
  }
  // The calls whose text starts with `prefix`.
  std::vector<std::string> callsStartingWith(const std::string& prefix) const;

  bool CheckLoginUser(const std::string& userId, const std::string& password) override;
  void Logout() override { calls.push_back("Logout"); }
  Packet GetSysMainDBDataBySql(const std::string& userId, const std::string& sql) override;
  std::string doSysMainDBDataBySql(const std::string& sql) override;
  std::string SaveSysMainDataBySql(const std::string& userId, const std::string& select,
                                   const Delta& delta) override;
  Packet GetUserDBDataBySql(const std::string& userDbId, const std::string& sql) override;
  // Recorded and answered as GetUserDBDataBySql (the same operation on the wire).
  void StreamUserDBDataBySql(const std::string& userDbId, const std::string& sql,
                             PacketSink& sink) override {
    sink.take(GetUserDBDataBySql(userDbId, sql));
  }
  std::string doUserDBDataBySql(const std::string& userDbId, const std::string& sql) override;
  std::string SaveUserDBDataByDelta(const std::string& userDbId, const std::string& table,
                                    const std::string& keyFields, const Delta& delta) override;
  bool CheckValueIsExistBySql(const std::string& userDbId, const std::string& sql) override;
  std::optional<Packet> GetMasterAndDetailData(const std::string& userDbId,
                                               const std::string& masterTable,
                                               const std::string& masterSql,
                                               const std::string& detailSql) override;
  std::string SaveMasterAndDetailData(const std::string& userDbId, const std::string& masterTable,
                                      const Delta& delta) override;
  std::string GetBill_MaxBcode(const std::string& userDbId, const std::string& prefix,
                               const std::string& table, const std::string& billDate) override;
  Packet GetRegisUserInfo(const std::string& userId) override;
  std::string CreateUserDB(const std::string& main, const std::string& userId,
                           const std::string& userDbId, const std::string& userDbName,
                           const std::string& isDefault) override;
  IdBlock GetNewIDBlock() override;
  // Answered at once, in call order, as the reads they stand for.
  std::future<Packet> GetUserDBDataBySqlAside(const std::string& userDbId,
                                              const std::string& sql) override;
  std::future<Packet> GetSysMainDBDataBySqlAside(const std::string& userId,
                                                 const std::string& sql) override;

  // When set, every call throws this text first (e.g. "Connection refused").
  std::string failWith;

 private:
  Packet select(const std::string& sql);
  std::string status();
  void maybeFail();
};

// Records what the windows show and answers for the user. A modal window is shown (so its
// show handler runs), handed to the script registered for its class name (which acts as the
// user would), and closed if the script left it open.
class FakeHostUi : public host::THostUi {
 public:
  QStringList messages;
  QStringList confirmations;
  std::deque<bool> confirmAnswers;  // front first; empty answers No
  QStringList opened;               // addresses given to the shell
  QStringList modalShown;           // class names of modal windows, in order
  std::map<QString, std::function<int(QDialog&)>> scripts;  // class name -> what the user does

  void ShowMessage(const QString& text) override { messages << text; }
  bool ConfirmWarning(const QString& text) override;
  int ShowModal(QDialog& window) override;
  void OpenUrl(const QString& address, bool) override { opened << address; }
};

// Installs a fresh fake proxy and fake services for one test and resets the host globals;
// restores the real services at the end.
class HostFixture {
 public:
  HostFixture();
  ~HostFixture();
  FakeServerMethods& proxy() { return *proxy_; }
  FakeHostUi& ui() { return *ui_; }

 private:
  FakeServerMethods* proxy_;
  FakeHostUi* ui_;
};

// Creates a window by its registered name ("unit.Class") from a package, as the host does,
// with its TagString set; null when there is no such window or it is of another class.
template <class T>
std::unique_ptr<T> createWindow(const QString& package, const char* qualifiedName,
                                const QString& tag = QString()) {
  std::unique_ptr<host::TForm> form(host::CreateRttiForm(package, qualifiedName, nullptr));
  auto* window = qobject_cast<T*>(form.get());
  if (!window) return nullptr;
  form.release();
  window->TagString = tag;
  return std::unique_ptr<T>(window);
}

// Shows the window and runs the pending events, so that its FormShow has run.
void showSettled(QWidget& window);

// createWindow, then showSettled.
template <class T>
std::unique_ptr<T> openWindow(const QString& package, const char* qualifiedName,
                              const QString& tag = QString()) {
  std::unique_ptr<T> window = createWindow<T>(package, qualifiedName, tag);
  if (window) showSettled(*window);
  return window;
}

// Under VLT_SHOTS_DIR, saves the widget as it looks now as <name>.png there, to look at;
// does nothing when the variable is unset.
void saveShot(QWidget& widget, const QString& name);

}  // namespace vlt::test
