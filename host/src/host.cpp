#include "vlt/host.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLibrary>
#include <QMessageBox>
#include <QPointer>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QSettings>
#include <QShowEvent>
#include <QStandardPaths>
#include <QUrl>
#include <map>
#include <mutex>

#include "vlt/errors.h"
#include "vlt/idalloc.h"

namespace vlt::host {

namespace {

struct Package {
  QString fileName;
  std::unique_ptr<QLibrary> library;  // null for the program's own classes
  std::vector<std::unique_ptr<TClassInfo>> classes;
  std::vector<QPointer<QObject>> components;
};

struct HostState {
  TCurUserInfo user;
  TAppVar appVar;
  TClientVersion version{QStringLiteral("303")};
  std::int16_t modalResult = 0;
  std::unique_ptr<TGlobalDM> globalDm;
  std::unique_ptr<TServerMethodsClient> proxy;
  std::unique_ptr<IdAllocator> ids;
  QString serviceBase;
  QString pluginFolder;
  TForm* mainForm = nullptr;
  ExceptionHandler exceptionHandler;
  std::unique_ptr<THostUi> ui;
  // Handle 0 holds the classes of the program and of libraries linked into it.
  std::map<std::uint32_t, Package> packages;
  std::uint32_t nextHandle = 1;
  std::uint32_t loading = 0;  // the package whose classes register now
};

HostState& state() {
  static HostState s;
  return s;
}

QString withSlash(QString p) {
  if (!p.endsWith('/')) p += '/';
  return p;
}

// "VltCalendar.bpl" -> "<plug-in folder>/VltCalendar" (QLibrary adds the platform's form).
QString libraryPath(const QString& fileName) {
  QString base = QFileInfo(fileName).completeBaseName();
  return QDir(PluginFolder()).filePath(base);
}

}  // namespace

// ---- identities ------------------------------------------------------------------------------

TCurUserInfo& CurUserInfo() {
  return state().user;
}

TAppVar& AppVar() {
  return state().appVar;
}

void InitAppVar() {
  QString root = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
  if (root.isEmpty()) root = QDir::homePath() + "/.vlt";
  QDir().mkpath(root);
  TAppVar& v = AppVar();
  v.UserFilePath = withSlash(root);
  v.HeadImgPath = withSlash(root);
  v.UserPath.clear();
  v.UserHeadImgPath.clear();
}

TClientVersion& ClientVersion() {
  return state().version;
}

std::int16_t& FModalResult() {
  return state().modalResult;
}

TGlobalDM::TGlobalDM() {
  for (const char* name : {"id", "name", "other1", "other2", "other3"}) {
    FieldDef f;
    f.name = name;
    f.type = DataType::String;
    f.size = 255;
    cdsSelectResult.FieldDefinitions().add(f);
  }
  cdsSelectResult.CreateDataSet();
  // The goods hand-over: what a bill's lines take from the chosen goods.
  FieldDefs& goods = cdsSelectGoods.FieldDefinitions();
  goods.add("id", DataType::String, 15);
  goods.add("code", DataType::String, 40);
  goods.add("name", DataType::String, 80);
  goods.add("spec", DataType::String, 80);
  goods.add("typeId", DataType::String, 15);
  goods.add("UnitID", DataType::String, 15);
  goods.addDecimal("purPrice", 11, 2);
  goods.addDecimal("SalPrice", 11, 2);
  cdsSelectGoods.CreateDataSet();
}

TGlobalDM& GlobalDM() {
  auto& dm = state().globalDm;
  if (!dm) dm = std::make_unique<TGlobalDM>();
  return *dm;
}

// ---- the service -------------------------------------------------------------------------

TServerMethodsClient& doServerMethods() {
  auto& p = state().proxy;
  if (!p) throw Error("Connection refused: no data service is set up");
  return *p;
}

void SetServerMethods(std::unique_ptr<TServerMethodsClient> proxy) {
  HostState& s = state();
  s.proxy = std::move(proxy);
  s.ids = std::make_unique<IdAllocator>([] { return doServerMethods().GetNewIDBlock(); });
}

std::string GetNewID() {
  HostState& s = state();
  if (!s.ids) doServerMethods();  // throws the no-service error
  return s.ids->next();
}

QString ConfiguredServiceAddress() {
  QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Vlt"),
                     QStringLiteral("Vlt"));
  QString a = settings.value("Service/Address").toString().trimmed();
  if (a.isEmpty()) a = QProcessEnvironment::systemEnvironment().value("VLT_SERVICE_URL").trimmed();
  return a;
}

void SetServiceBaseAddress(const QString& address) {
  QString a = address;
  while (a.endsWith('/'))
    a.chop(1);
  state().serviceBase = a;
}

QString ServiceBaseAddress() {
  return state().serviceBase;
}

QString DefaultStyleSheet() {
  QFile file(QStringLiteral("VltDefault.style"));
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(file.readAll());
}

QString ServiceWebAddress(const QString& page) {
  return state().serviceBase + "/" + page;
}

// ---- windows ---------------------------------------------------------------------------------

TForm::TForm(QWidget* owner) : QDialog(owner) {}

TForm::~TForm() {
  if (state().mainForm == this) state().mainForm = nullptr;
}

QString TForm::ClassName() const {
  QString n = QString::fromLatin1(metaObject()->className());
  qsizetype colon = n.lastIndexOf(':');
  return colon < 0 ? n : n.mid(colon + 1);
}

void TForm::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (shown_ || event->spontaneous()) return;
  shown_ = true;
  // Screen readers name a box by its caption: a caption that is a box's buddy (a form layout's
  // row label) names it, unless the window named the box itself.
  for (QLabel* caption : findChildren<QLabel*>()) {
    QWidget* box = caption->buddy();
    if (!box || !box->accessibleName().isEmpty()) continue;
    QString name = caption->text();
    name.remove('&');
    while (name.endsWith(u'：') || name.endsWith(u':'))
      name.chop(1);
    box->setAccessibleName(name.trimmed());
  }
  try {
    FormShow();
  } catch (...) {
    HandleException(std::current_exception());
  }
}

void RegisterClass(TClassInfo info) {
  HostState& s = state();
  Package& p = s.packages[s.loading];
  p.classes.push_back(std::make_unique<TClassInfo>(std::move(info)));
}

namespace {

const TClassInfo* findClass(const QString& qualifiedName) {
  for (auto& [handle, p] : state().packages)
    for (auto& c : p.classes)
      if (c->qualifiedName.compare(qualifiedName, Qt::CaseInsensitive) == 0) return c.get();
  return nullptr;
}

bool packageLoaded(const QString& fileName) {
  for (auto& [handle, p] : state().packages)
    if (p.fileName.compare(fileName, Qt::CaseInsensitive) == 0) return true;
  return false;
}

}  // namespace

bool ClassRegistered(const QString& qualifiedName) {
  return findClass(qualifiedName) != nullptr;
}

TForm* CreateRttiForm(const QString& package, const QString& qualifiedName, QWidget* owner) {
  const TClassInfo* c = findClass(qualifiedName);
  if (!c && !packageLoaded(package)) {
    LoadPlugin(package);
    c = findClass(qualifiedName);
  }
  if (!c)
    throw Error("Class " + qualifiedName.toStdString() + " not found in " + package.toStdString());
  QWidget* w = c->create(owner);
  auto* form = qobject_cast<TForm*>(w);
  if (!form) {
    delete w;
    throw Error("Class " + qualifiedName.toStdString() + " is not a window");
  }
  try {
    form->FormCreate();
  } catch (...) {
    delete form;
    throw;
  }
  return form;
}

TForm* CreateRttiForm(const QString& package, const QString& qualifiedName) {
  TForm* form = CreateRttiForm(package, qualifiedName, nullptr);
  state().mainForm = form;
  return form;
}

TForm* MainForm() {
  return state().mainForm;
}

// ---- packages ------------------------------------------------------------------------------

QString PluginFolder() {
  QString& f = state().pluginFolder;
  if (f.isEmpty()) f = QCoreApplication::applicationDirPath() + "/plugins";
  return f;
}

void SetPluginFolder(const QString& folder) {
  state().pluginFolder = folder;
}

std::uint32_t LoadPlugin(const QString& fileName) {
  HostState& s = state();
  auto lib = std::make_unique<QLibrary>(libraryPath(fileName));
  std::uint32_t handle = s.nextHandle++;
  s.packages[handle].fileName = fileName;
  s.loading = handle;
  bool ok = lib->load();
  s.loading = 0;
  if (!ok) {
    s.packages.erase(handle);
    throw Error("Can't load package " + fileName.toStdString() + ".\n" +
                lib->errorString().toStdString());
  }
  s.packages[handle].library = std::move(lib);
  return handle;
}

void UnloadPlugin(std::uint32_t handle) {
  HostState& s = state();
  auto it = s.packages.find(handle);
  if (it == s.packages.end() || handle == 0) return;
  for (auto& c : it->second.components)
    delete c.data();
  std::unique_ptr<QLibrary> lib = std::move(it->second.library);
  s.packages.erase(it);
  if (lib) lib->unload();
}

std::vector<const TClassInfo*> PackageClasses(std::uint32_t handle) {
  std::vector<const TClassInfo*> out;
  auto it = state().packages.find(handle);
  if (it != state().packages.end())
    for (auto& c : it->second.classes)
      out.push_back(c.get());
  return out;
}

bool IsPluginFrameClass(const TClassInfo* type, const TClassInfo*& frameClass) {
  if (!type || !type->isFrame) return false;
  frameClass = type;
  return true;
}

void RegisterPluginComponent(std::uint32_t handle, QObject* component) {
  auto it = state().packages.find(handle);
  if (it != state().packages.end()) it->second.components.emplace_back(component);
}

QObject* GetFormComponent(QWidget* form, const QString& componentName) {
  if (!form) return nullptr;
  if (form->objectName() == componentName) return form;
  return form->findChild<QObject*>(componentName);
}

QObject* GetFormComponent(const QString& formClassName, const QString& componentName) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    auto* form = qobject_cast<TForm*>(w);
    if (form && form->ClassName() == formClassName) return GetFormComponent(form, componentName);
  }
  return nullptr;
}

QObject* FindItemParent(QObject* object, const char* className) {
  for (QObject* p = object ? object->parent() : nullptr; p; p = p->parent())
    if (p->inherits(className)) return p;
  return nullptr;
}

// ---- failures ------------------------------------------------------------------------------

void Abort() {
  throw EAbort();
}

void SetApplicationExceptionHandler(ExceptionHandler handler) {
  state().exceptionHandler = std::move(handler);
}

void HandleException(std::exception_ptr e) noexcept {
  try {
    std::rethrow_exception(e);
  } catch (const EAbort&) {
  } catch (const std::exception& x) {
    try {
      if (state().exceptionHandler) state().exceptionHandler(x);
    } catch (...) {
    }
  } catch (...) {
  }
}

// ---- user interface services ---------------------------------------------------------------

void THostUi::ShowMessage(const QString& text) {
  QMessageBox box(QMessageBox::Information, QCoreApplication::applicationName(), text,
                  QMessageBox::Ok, QApplication::activeWindow());
  box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
  box.exec();
}

bool THostUi::ConfirmWarning(const QString& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("警告"), text,
                  QMessageBox::Yes | QMessageBox::No, QApplication::activeWindow());
  box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
  box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
  box.setDefaultButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

int THostUi::ShowModal(QDialog& window) {
  return window.exec();
}

void THostUi::OpenUrl(const QString& address, bool /*activate*/) {
  // The platform opens addresses in the browser it chooses; it cannot be kept in the background.
  QDesktopServices::openUrl(QUrl(address));
}

THostUi& HostUi() {
  auto& ui = state().ui;
  if (!ui) ui = std::make_unique<THostUi>();
  return *ui;
}

std::unique_ptr<THostUi> SetHostUi(std::unique_ptr<THostUi> ui) {
  auto old = std::move(state().ui);
  state().ui = std::move(ui);
  return old;
}

}  // namespace vlt::host
