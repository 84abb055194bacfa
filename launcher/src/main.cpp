// vlt: the desktop client.
#include <QApplication>

#include "startup.h"
#include "vlt/embedded.h"
#include "vlt/heap.h"

int main(int argc, char** argv) {
  vlt::KeepFreedMemory();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Vlt");
  // A service this client starts runs until the program ends.
  vlt::host::TEmbeddedService service;
  vlt::launcher::TStartupHooks hooks;
  hooks.connect = [&service] { vlt::launcher::ConnectService(service); };
  hooks.runMainForm = vlt::launcher::RunMainLoop;
  return vlt::launcher::RunStartup(hooks);
}
