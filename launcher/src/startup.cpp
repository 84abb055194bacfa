#include "startup.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <memory>

#include "vlt/dataset.h"
#include "vlt/embedded.h"
#include "vlt/errors.h"
#include "vlt/host.h"

namespace vlt::launcher {

using namespace vlt::host;

namespace {

const QString kControlCenter = QStringLiteral("VltControlCenter.bpl");
constexpr std::int16_t kSignedIn = 99;

}  // namespace

void ConnectService(TEmbeddedService& embedded) {
  QString address = ConfiguredServiceAddress();
  const bool own = address.isEmpty();
  if (own) {
    // The first start creates the databases: say what the wait is for.
    QLabel notice(QStringLiteral("正在启动本机数据服务，请稍候……"));
    notice.setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
    notice.setAlignment(Qt::AlignCenter);
    notice.setMargin(24);
    notice.setObjectName("lblStartNotice");
    notice.setStyleSheet(DefaultStyleSheet());
    notice.show();
    QApplication::processEvents();
    address = embedded.Start();
  }
  SetServiceBaseAddress(address);
  // The embedded service is started again should it die; one elsewhere is only reported.
  SetServerMethods(std::make_unique<TSupervisedServerMethods>(address, own ? &embedded : nullptr));
}

int RunMainLoop(TForm& mainForm) {
  // Closing the main window ends the program, whatever other windows are still open.
  QObject::connect(&mainForm, &QDialog::finished, qApp, &QCoreApplication::quit);
  mainForm.show();
  return QApplication::exec();
}

int LocalBuildNumber() {
  const QString text = ClientVersion().Version;
  bool ok = false;
  const int build = text.toInt(&ok, 10);
  if (!ok) throw ConversionError("'" + ss(text) + "' is not a valid integer value");
  return build;
}

void ApplyStyleFile(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly))
    throw Error("Cannot open file \"" + ss(QFileInfo(fileName).absoluteFilePath()) + "\". " +
                ss(file.errorString()));
  qApp->setStyleSheet(QString::fromUtf8(file.readAll()));
}

int RunStartup(const TStartupHooks& hooks) {
  InitAppVar();
  // The build tree and the tests keep their packages elsewhere than beside the program.
  if (const QString folder = qEnvironmentVariable("VLT_PLUGIN_DIR"); !folder.isEmpty())
    SetPluginFolder(folder);

  // The login window lives until the program ends; so does the handler it installs.
  std::unique_ptr<TForm> login;
  try {
    if (hooks.connect) hooks.connect();
    LoadPlugin(kControlCenter);

    login.reset(
        CreateRttiForm(kControlCenter, QStringLiteral("uLoginForm.TfrmLoginForm"), nullptr));
    ShowModal(*login);
    if (FModalResult() != kSignedIn) {
      QCoreApplication::quit();
      return 0;
    }

    ClientDataSet version;
    version.LoadFromPacket(doServerMethods().GetSysMainDBDataBySql(
        CurUserInfo().UserID, "select * from sys_autoupdateinfo where id=-99"));
    if (version.IsEmpty()) {
      ShowMessage(QStringLiteral("致命错误：检测云升级服务器失败！"));
      return 0;
    }
    version.First();
    const int serverBuild = version.FieldByName("Client_Version").AsInteger();
    const int localBuild = LocalBuildNumber();
    if (serverBuild < localBuild) {
      ApplyStyleFile(QStringLiteral("VltDefault.style"));
      std::unique_ptr<TForm> mainForm(
          CreateRttiForm(kControlCenter, QStringLiteral("uMainForm.TfrmMainForm")));
      FModalResult() = 0;
      if (hooks.runMainForm) hooks.runMainForm(*mainForm);
    } else {
      // Equal builds need the update too.
      std::unique_ptr<TForm> update(
          CreateRttiForm(kControlCenter, QStringLiteral("uUpdateApp.TfrmUpdateApp"), nullptr));
      update->TagString = qs(version.FieldByName("DownLoadURL").AsString());
      ShowModal(*update);
    }
  } catch (const EAbort&) {
  } catch (const std::exception& e) {
    ShowMessage(QString::fromUtf8(e.what()));
  }
  return 0;
}

}  // namespace vlt::launcher
