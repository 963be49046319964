#include <QApplication>

#include "platform/program_dir.h"
#include "ui/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  pellmarsh::MainWindow window(pellmarsh::ProgramDir());
  window.show();
  return QApplication::exec();
}
