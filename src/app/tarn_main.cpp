// tarn: the desktop application.
#include <QApplication>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "settings/data_locations.h"
#include "settings/settings_records.h"
#include "ui/fr_tarn_main.h"
#include "ui/start_values.h"

int main(int argc, char* argv[]) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const tarn::ui::TTarnCommandLine command_line = tarn::ui::ParseTarnCommandLine(args);
  if (!command_line.Error.empty()) {
    std::fprintf(stderr, "tarn: %s\n%s", command_line.Error.c_str(), tarn::ui::kTarnUsage);
    return 2;
  }
  if (command_line.Help) {
    std::fputs(tarn::ui::kTarnUsage, stdout);
    return 0;
  }
  if (command_line.Version) {
    std::printf("tarn %.*s\n", static_cast<int>(tarn::settings::kProductVersion.size()),
                tarn::settings::kProductVersion.data());
    return 0;
  }

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarn"));
  std::setlocale(LC_NUMERIC, "C");
  const auto locations = command_line.DataDirectory
                             ? tarn::settings::DataLocations::InDirectory(*command_line.DataDirectory)
                             : tarn::settings::DataLocations::ForRunningProgram();
  tarn::ui::TFormTarnMain window(locations, command_line.Arguments);
  window.show();
  return QApplication::exec();
}
