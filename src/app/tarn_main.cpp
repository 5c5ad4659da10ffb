// tarn: the desktop application. One copy runs per user and data directory; a second copy hands
// its command line to the running one and ends.
#include <malloc.h>
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QMessageBox>
#include <clocale>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "search/native_path.h"
#include "settings/data_locations.h"
#include "settings/settings_records.h"
#include "ui/fr_splash.h"
#include "ui/fr_tarn_main.h"
#include "ui/single_instance.h"
#include "ui/start_values.h"
#include "ui/toolkit_dialogs.h"

namespace {

// What a second copy does: the running window comes forward, with the command line when there
// is one. Its exit status is 0, or 2 when the command line cannot be handed over.
int ForwardCommandLine(tarn::ui::TSingleInstance& instance, const std::vector<std::string>& args) {
  // The hand-over carries CP932: a character without a CP932 form would arrive as "?".
  for (std::size_t i = 0; i < args.size() && i < 3; ++i) {
    const std::string_view refused = tarn::search::NativeCharWithoutCp932(args[i]);
    if (refused.empty()) continue;
    std::fprintf(stderr, "tarn: 「%.*s」は Shift-JIS で表せないため、動いている Tarn に渡せません\n",
                 static_cast<int>(refused.size()), refused.data());
    instance.Forward(tarn::ui::kActivateRecord, {});
    return 2;
  }
  if (args.empty()) {
    instance.Forward(tarn::ui::kActivateRecord, {});
    return 0;
  }
  std::error_code ec;
  const std::string here = std::filesystem::current_path(ec).string();
  std::vector<std::string> cp932;
  cp932.reserve(args.size());
  for (const std::string& arg : tarn::ui::HandOverArguments(args, here))
    cp932.push_back(tarn::search::NativeToCp932(arg));
  QByteArray text = QByteArray::fromStdString(tarn::ui::HandOverText(cp932));
  text.append('\0');
  instance.Forward(tarn::ui::kHandOverRecord, text);
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  // A large result is tens of megabytes of rows kept by the worker thread that made them: its heap
  // grows in large steps, not by a system call per page.
  mallopt(M_TOP_PAD, 64 << 20);
  const std::vector<std::string> args(argv + 1, argv + argc);
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
  tarn::ui::InstallToolkitTranslations(app);
  QApplication::setApplicationName(QStringLiteral("Tarn"));
  // Ties the windows to the installed desktop entry and icon (task bar, Wayland app id); a copy
  // that was not installed simply has no icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("tarn"));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tarn")));
  std::setlocale(LC_NUMERIC, "C");
  // The splash comes first, before it is known whether this copy stays.
  std::unique_ptr<tarn::ui::TFormSplash> splash =
      tarn::ui::TFormSplash::ShowIfPresent(tarn::ui::TFormSplash::PicturePathFor(QCoreApplication::applicationFilePath()));

  const auto locations = command_line.DataDirectory
                             ? tarn::settings::DataLocations::InDirectory(*command_line.DataDirectory)
                             : tarn::settings::DataLocations::ForRunningProgram();
  // Settings another user could write would choose the program that opens result lines.
  if (const auto folder = tarn::settings::FolderAnotherUserControls(locations.DataDirectory())) {
    splash.reset();
    std::fprintf(stderr, "tarn: %s\n",
                 tarn::settings::RefusedDataDirectoryText(locations.DataDirectory(), *folder).c_str());
    const QString text = QStringLiteral("データディレクトリ %1 は使用できません。\n%2 は他のユーザーが変更できます。");
    QMessageBox::critical(nullptr, QStringLiteral("Tarn"),
                          text.arg(QFile::decodeName(locations.DataDirectory().c_str()),
                                   QFile::decodeName(folder->c_str())));
    return 2;
  }
  tarn::ui::TSingleInstance instance(tarn::ui::InstanceServerName(locations.DataDirectory()));
  const tarn::ui::TSingleInstance::TRole role = instance.Start();
  if (role == tarn::ui::TSingleInstance::TRole::Second) return ForwardCommandLine(instance, command_line.Arguments);
  if (role == tarn::ui::TSingleInstance::TRole::Alone)
    std::fputs("tarn: no private place for the single-instance socket; other copies may run beside this one\n", stderr);

  tarn::ui::TFormTarnMain window(locations, command_line.Arguments);
  QObject::connect(&instance, &tarn::ui::TSingleInstance::Received, &window, &tarn::ui::TFormTarnMain::HandOver);
  window.OnFirstShow = [&splash] { splash.reset(); };
  window.show();
  return QApplication::exec();
}
