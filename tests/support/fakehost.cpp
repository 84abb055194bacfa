#include "fakehost.h"

#include <QApplication>
#include <QDir>
#include <QMetaObject>
#include <QPointer>

namespace vlt::test {

Packet packetOf(const std::vector<std::string>& fields,
                const std::vector<std::vector<std::string>>& rows) {
  Packet p;
  for (const std::string& name : fields) {
    FieldDef f;
    f.name = name;
    f.type = DataType::String;
    f.size = 255;
    p.fields.add(f);
  }
  for (const auto& r : rows) {
    Row row;
    for (const std::string& v : r)
      row.push_back(Value(v));
    p.rows.push_back(std::move(row));
  }
  return p;
}

std::vector<std::string> FakeServerMethods::callsStartingWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& c : calls)
    if (c.rfind(prefix, 0) == 0) out.push_back(c);
  return out;
}

void FakeServerMethods::maybeFail() {
  if (!failWith.empty()) throw RemoteError(0, failWith);
}

Packet FakeServerMethods::select(const std::string& sql) {
  for (const auto& [part, packet] : answers)
    if (sql.find(part) != std::string::npos) return packet;
  return Packet{};
}

std::string FakeServerMethods::status() {
  if (statuses.empty()) return "0";
  std::string s = statuses.front();
  statuses.pop_front();
  return s;
}

bool FakeServerMethods::CheckLoginUser(const std::string& userId, const std::string& password) {
  calls.push_back("CheckLoginUser|" + userId + "|" + password);
  maybeFail();
  auto it = passwords.find(userId);
  return it != passwords.end() && it->second == password;
}

Packet FakeServerMethods::GetSysMainDBDataBySql(const std::string& userId, const std::string& sql) {
  calls.push_back("GetSysMainDBDataBySql|" + userId + "|" + sql);
  maybeFail();
  return select(sql);
}

std::string FakeServerMethods::doSysMainDBDataBySql(const std::string& sql) {
  calls.push_back("doSysMainDBDataBySql|" + sql);
  maybeFail();
  return status();
}

std::string FakeServerMethods::SaveSysMainDataBySql(const std::string& userId,
                                                    const std::string& select, const Delta& delta) {
  calls.push_back("SaveSysMainDataBySql|" + userId + "|" + select);
  maybeFail();
  deltas.push_back(delta);
  return status();
}

Packet FakeServerMethods::GetUserDBDataBySql(const std::string& userDbId, const std::string& sql) {
  calls.push_back("GetUserDBDataBySql|" + userDbId + "|" + sql);
  maybeFail();
  return select(sql);
}

std::string FakeServerMethods::doUserDBDataBySql(const std::string& userDbId,
                                                 const std::string& sql) {
  calls.push_back("doUserDBDataBySql|" + userDbId + "|" + sql);
  maybeFail();
  return status();
}

std::string FakeServerMethods::SaveUserDBDataByDelta(const std::string& userDbId,
                                                     const std::string& table,
                                                     const std::string& keyFields,
                                                     const Delta& delta) {
  calls.push_back("SaveUserDBDataByDelta|" + userDbId + "|" + table + "|" + keyFields);
  maybeFail();
  deltas.push_back(delta);
  return status();
}

bool FakeServerMethods::CheckValueIsExistBySql(const std::string& userDbId,
                                               const std::string& sql) {
  calls.push_back("CheckValueIsExistBySql|" + userDbId + "|" + sql);
  maybeFail();
  return !select(sql).rows.empty();
}

std::optional<Packet> FakeServerMethods::GetMasterAndDetailData(const std::string& userDbId,
                                                                const std::string& masterTable,
                                                                const std::string& masterSql,
                                                                const std::string& detailSql) {
  calls.push_back("GetMasterAndDetailData|" + userDbId + "|" + masterTable + "|" + masterSql + "|" +
                  detailSql);
  maybeFail();
  Packet p = select(masterSql);
  if (p.rows.empty()) return std::nullopt;
  return p;
}

std::string FakeServerMethods::SaveMasterAndDetailData(const std::string& userDbId,
                                                       const std::string& masterTable,
                                                       const Delta& delta) {
  calls.push_back("SaveMasterAndDetailData|" + userDbId + "|" + masterTable);
  maybeFail();
  deltas.push_back(delta);
  return status();
}

std::string FakeServerMethods::GetBill_MaxBcode(const std::string& userDbId,
                                                const std::string& prefix, const std::string& table,
                                                const std::string& billDate) {
  calls.push_back("GetBill_MaxBcode|" + userDbId + "|" + prefix + "|" + table + "|" + billDate);
  maybeFail();
  std::string digits;
  for (char c : billDate)
    if (c >= '0' && c <= '9') digits += c;
  return prefix + digits + "0001";
}

Packet FakeServerMethods::GetRegisUserInfo(const std::string& userId) {
  calls.push_back("GetRegisUserInfo|" + userId);
  maybeFail();
  auto it = profiles.find(userId);
  return it == profiles.end() ? packetOf({"NickName", "HeadImgName"}) : it->second;
}

std::string FakeServerMethods::CreateUserDB(const std::string& main, const std::string& userId,
                                            const std::string& userDbId,
                                            const std::string& userDbName,
                                            const std::string& isDefault) {
  calls.push_back("CreateUserDB|" + main + "|" + userId + "|" + userDbId + "|" + userDbName + "|" +
                  isDefault);
  maybeFail();
  return status();
}

IdBlock FakeServerMethods::GetNewIDBlock() {
  calls.push_back("GetNewIDBlock");
  maybeFail();
  IdBlock b{nextId, 100};
  nextId += 100;
  return b;
}

namespace {
template <typename Read>
std::future<Packet> answeredNow(Read read) {
  std::promise<Packet> answer;
  try {
    answer.set_value(read());
  } catch (...) {
    answer.set_exception(std::current_exception());
  }
  return answer.get_future();
}
}  // namespace

std::future<Packet> FakeServerMethods::GetUserDBDataBySqlAside(const std::string& userDbId,
                                                               const std::string& sql) {
  return answeredNow([&] { return GetUserDBDataBySql(userDbId, sql); });
}

std::future<Packet> FakeServerMethods::GetSysMainDBDataBySqlAside(const std::string& userId,
                                                                  const std::string& sql) {
  return answeredNow([&] { return GetSysMainDBDataBySql(userId, sql); });
}

bool FakeHostUi::ConfirmWarning(const QString& text) {
  confirmations << text;
  if (confirmAnswers.empty()) return false;
  bool yes = confirmAnswers.front();
  confirmAnswers.pop_front();
  return yes;
}

int FakeHostUi::ShowModal(QDialog& window) {
  QString name = QString::fromLatin1(window.metaObject()->className());
  if (qsizetype colon = name.lastIndexOf(':'); colon >= 0) name = name.mid(colon + 1);
  modalShown << name;
  window.setResult(0);
  window.show();
  QApplication::processEvents();
  QPointer<QDialog> alive(&window);  // a window that frees itself on close may be gone after
  int result = 0;
  auto it = scripts.find(name);
  if (it != scripts.end()) {
    result = it->second(window);
  }
  if (alive && alive->isVisible()) alive->close();
  QApplication::processEvents();
  if (result || !alive) return result;
  return alive->result();
}

HostFixture::HostFixture() {
  auto proxy = std::make_unique<FakeServerMethods>();
  proxy_ = proxy.get();
  host::SetServerMethods(std::move(proxy));
  auto ui = std::make_unique<FakeHostUi>();
  ui_ = ui.get();
  host::SetHostUi(std::move(ui));
  host::CurUserInfo() = host::TCurUserInfo{};
  host::FModalResult() = 0;
  host::GlobalDM().cdsSelectResult.EmptyDataSet();
  host::GlobalDM().cdsSelectGoods.EmptyDataSet();
  host::SetApplicationExceptionHandler(nullptr);
  host::SetServiceBaseAddress("http://service.test");
  // Packages load from the build's plug-in folder, as the program loads them from its own.
  QByteArray plugins = qgetenv("VLT_PLUGIN_DIR");
  if (!plugins.isEmpty()) host::SetPluginFolder(QString::fromLocal8Bit(plugins));
}

HostFixture::~HostFixture() {
  host::SetHostUi(nullptr);
  host::SetServerMethods(nullptr);
  host::SetApplicationExceptionHandler(nullptr);
}

void showSettled(QWidget& window) {
  window.show();
  QApplication::processEvents();
}

void saveShot(QWidget& widget, const QString& name) {
  const QString dir = qEnvironmentVariable("VLT_SHOTS_DIR");
  if (dir.isEmpty()) return;
  QDir().mkpath(dir);
  // Pending layouts and paints first, so that the picture shows the widget as the user would.
  QApplication::processEvents();
  widget.grab().save(dir + "/" + name + ".png");
}

}  // namespace vlt::test
