#pragma once
// The start-up sequence of the client: host services, the control center, the login, the
// server's verdict on this build, then the main window or the update window.

#include <QString>
#include <functional>

namespace vlt::host {
class TForm;
class TEmbeddedService;
}  // namespace vlt::host

namespace vlt::launcher {

// What the start-up needs from the machine; tests put their own in.
struct TStartupHooks {
  // Sets up the proxy before the control center loads (ConnectService in the program).
  std::function<void()> connect;
  // Shows the main window and runs the message loop until it closes (RunMainLoop).
  std::function<void(host::TForm& mainForm)> runMainForm;
};

// Finds the service: the configured address, else a service this client starts itself and
// keeps in `embedded` (which stops it when destroyed). Installs the proxy and the address of
// the service's web site.
void ConnectService(host::TEmbeddedService& embedded);
// Shows the window and runs the application's message loop until the window closes; returns
// the loop's exit code.
int RunMainLoop(host::TForm& mainForm);

// The local build number; text that is not a decimal integer raises vlt::ConversionError.
int LocalBuildNumber();
// Reads a style sheet file and makes it the application's style; a missing file raises.
void ApplyStyleFile(const QString& fileName);

// Runs the start-up and returns the program's exit code when the program should end.
int RunStartup(const TStartupHooks& hooks);

}  // namespace vlt::launcher
