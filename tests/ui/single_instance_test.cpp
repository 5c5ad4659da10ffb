// One running copy: a real second copy of the program hands its command line to this window and
// ends; another data directory is another copy; a stale socket or a malformed message does no
// harm. The splash closes when the window first shows.
#include <QLocalSocket>
#include <QProcess>
#include <QtEndian>

#include "ui/fr_splash.h"
#include "ui/single_instance.h"
#include "window_test_support.h"

using tarn::ui::TFormSplash;
using tarn::ui::TFormTarnMain;
using tarn::ui::TSingleInstance;
using namespace tarn::ui::testing;

class SingleInstanceTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> data_;
  std::unique_ptr<TFormTarnMain> window_;
  std::unique_ptr<TSingleInstance> instance_;

  // A second copy on the same data directory, working in its folder "docs" (this window works
  // elsewhere); its exit code, or -1 when it did not end in time.
  int RunSecondCopy(const QStringList& args, const QString& dataDirectory) {
    QProcess copy;
    if (!QDir(dataDirectory).mkpath("docs")) return -1;
    copy.setWorkingDirectory(dataDirectory + "/docs");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    copy.setProcessEnvironment(env);
    copy.start(QStringLiteral(TARN_PROGRAM), QStringList{"--data-dir", dataDirectory, "--"} + args);
    if (!copy.waitForStarted(5000)) return -1;
    // The window must go on handling events while the copy waits for its answer.
    (void)QTest::qWaitFor([&] { return copy.state() == QProcess::NotRunning; }, 15000);
    if (copy.state() != QProcess::NotRunning) {
      copy.kill();
      copy.waitForFinished();
      return -1;
    }
    return copy.exitCode();
  }

  void SetBoxes(const QString& find, const QString& dir, const QString& mask) { Request(*window_, find, dir, mask); }
  QStringList Boxes() {
    return {Box(*window_, "KoFlatComboBoxFindString").currentText(), Box(*window_, "KoFlatComboBoxFindDirectory").currentText(),
            Box(*window_, "KoFlatComboBoxFindFileMask").currentText()};
  }

 private slots:
  void init() {
    data_ = std::make_unique<QTemporaryDir>();
    window_ = OpenWindow(data_->path());
    QVERIFY(window_);
    instance_ = std::make_unique<TSingleInstance>(tarn::ui::InstanceServerName(data_->path().toStdString()));
    QCOMPARE(instance_->Start(), TSingleInstance::TRole::Running);
    connect(instance_.get(), &TSingleInstance::Received, window_.get(), &TFormTarnMain::HandOver);
  }
  void cleanup() {
    instance_.reset();
    window_.reset();
  }

  void secondCopyHandsOverItsArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QStringList>("boxes");  // search string, directory, mask afterwards
    QTest::addColumn<QString>("focus");      // the box with the focus; empty: the result view kept it
    QTest::newRow("directory") << QStringList{" /srv/doc "} << QStringList{"", "/srv/doc", ""}
                               << "KoFlatComboBoxFindString";
    QTest::newRow("relative directory") << QStringList{" ./x/.. ", "晴れ", "*.txt"}
                                        << QStringList{"晴れ", "%D/docs", "*.txt"} << "";
    QTest::newRow("directory, search string") << QStringList{"/srv/doc", " 晴れ "} << QStringList{" 晴れ ", "/srv/doc", ""}
                                              << "KoFlatComboBoxFindFileMask";
    QTest::newRow("all three") << QStringList{"/srv/doc", "晴れ", " *.txt "} << QStringList{"晴れ", "/srv/doc", "*.txt"}
                               << "";
    QTest::newRow("blank search string") << QStringList{"/srv/doc", "$$BLANK$$", "*.txt"}
                                         << QStringList{"", "/srv/doc", "*.txt"} << "KoFlatComboBoxFindString";
    QTest::newRow("four arguments change nothing") << QStringList{"/a", "b", "c", "d"}
                                                   << QStringList{"old", "/old", "*.old"} << "";
  }
  void secondCopyHandsOverItsArguments() {
    QFETCH(QStringList, args);
    QFETCH(QStringList, boxes);
    QFETCH(QString, focus);
    SetBoxes("old", "/old", "*.old");
    window_->KoEditorResult().setFocus();
    QCOMPARE(RunSecondCopy(args, data_->path()), 0);
    QCOMPARE(Boxes(), boxes.replaceInStrings("%D", QDir(data_->path()).canonicalPath()));
    if (focus.isEmpty())
      QCOMPARE(QApplication::focusWidget(), &window_->KoEditorResult());
    else
      QVERIFY(HasFocus(Box(*window_, focus.toLatin1().constData())));
  }

  void secondCopyWithoutArgumentsBringsTheWindowBack() {
    SetBoxes("old", "/old", "*.old");
    window_->showMinimized();
    QTRY_VERIFY(window_->isMinimized());
    QCOMPARE(RunSecondCopy({}, data_->path()), 0);
    QVERIFY(!window_->isMinimized());
    QCOMPARE(Boxes(), (QStringList{"old", "/old", "*.old"}));
    // A character the hand-over's CP932 cannot carry would arrive as "?": the copy hands over
    // nothing but the window's coming back.
    window_->showMinimized();
    QTRY_VERIFY(window_->isMinimized());
    QCOMPARE(RunSecondCopy({"/srv/doc", QString::fromUtf8("\xF0\xA0\xAE\xB7野家")}, data_->path()), 2);
    QVERIFY(!window_->isMinimized());
    QCOMPARE(Boxes(), (QStringList{"old", "/old", "*.old"}));
  }

  void anotherDataDirectoryIsAnotherCopyAndStaleSocketsDoNoHarm() {
    QTemporaryDir other;
    const QString name = tarn::ui::InstanceServerName(other.path().toStdString());
    // What a crashed copy leaves behind.
    QFile stale(name);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    QProcess copy;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    copy.setProcessEnvironment(env);
    copy.start(QStringLiteral(TARN_PROGRAM), {"--data-dir", other.path()});
    QVERIFY(copy.waitForStarted(5000));
    QLocalSocket probe;
    QTRY_VERIFY_WITH_TIMEOUT((probe.connectToServer(name), probe.waitForConnected(200)), 15000);
    QCOMPARE(copy.state(), QProcess::Running);
    probe.abort();
    copy.terminate();
    if (!copy.waitForFinished(5000)) copy.kill();
    // The socket lies where only this user can reach it.
    QFileInfo folder(QFileInfo(name).path());
    QCOMPARE(folder.permissions() & (QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther),
             QFileDevice::Permissions());
  }

  // Another user who made the usual socket folder first (open to all) or put a link there does
  // not part the copies: they meet in the first private folder beside it.
  void aSocketFolderAnotherUserTookDoesNotPartTheCopies() {
    QTemporaryDir tmp;
    const QString usual = tmp.path() + QStringLiteral("/tarn-%1").arg(::getuid());
    QVERIFY(QDir().mkdir(usual) && QFile::setPermissions(usual, QFileDevice::Permissions(0x7777)));
    QVERIFY(QFile::link(tmp.path(), usual + "-1"));
    const QByteArray tmpdir = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(tmp.path()));
    qunsetenv("XDG_RUNTIME_DIR");
    const QString name = tarn::ui::InstanceServerName(data_->path().toStdString());
    qputenv("TMPDIR", tmpdir);
    qputenv("XDG_RUNTIME_DIR", runtime);
    QCOMPARE(QFileInfo(name).path(), usual + "-2");
    TSingleInstance first(name);
    TSingleInstance second(name);
    QCOMPARE(first.Start(), TSingleInstance::TRole::Running);
    QCOMPARE(second.Start(), TSingleInstance::TRole::Second);
  }

  void malformedMessagesAreIgnored() {
    SetBoxes("old", "/old", "*.old");
    const QString name = tarn::ui::InstanceServerName(data_->path().toStdString());
    // A length past the limit, then a record other than 100.
    QByteArray oversized(12, '\0');
    qToLittleEndian<quint64>(100, oversized.data());
    qToLittleEndian<quint32>(tarn::ui::kMaxHandOverBytes + 1, oversized.data() + 8);
    QLocalSocket socket;
    socket.connectToServer(name);
    QVERIFY(socket.waitForConnected(2000));
    socket.write(oversized);
    socket.flush();
    QTRY_COMPARE(socket.state(), QLocalSocket::UnconnectedState);
    // This window answers on its own event loop, so the message is sent without blocking.
    auto send = [&name](quint64 record, const QByteArray& text) {
      QLocalSocket client;
      client.connectToServer(name);
      if (!client.waitForConnected(2000)) return false;
      QByteArray message(12, '\0');
      qToLittleEndian<quint64>(record, message.data());
      qToLittleEndian<quint32>(static_cast<quint32>(text.size()), message.data() + 8);
      client.write(message + text);
      return QTest::qWaitFor([&] { return client.bytesAvailable() > 0; }, 5000) && client.read(1) == "\x01";
    };
    QVERIFY(send(7, "\"/x\",\"y\""));
    QCOMPARE(Boxes(), (QStringList{"old", "/old", "*.old"}));
    QVERIFY(send(100, QByteArray("\"/x\",\"y\"\0garbage", 16)));
    QCOMPARE(Boxes(), (QStringList{"y", "/x", ""}));
  }

  void splashClosesAtFirstShow() {
    const QString picture = data_->path() + "/tarn.bmp";
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    QVERIFY(image.save(picture, "BMP"));
    QCOMPARE(TFormSplash::PicturePathFor(data_->path() + "/tarn"), picture);
    QVERIFY(!TFormSplash::ShowIfPresent(data_->path() + "/none.bmp"));
    std::unique_ptr<TFormSplash> splash = TFormSplash::ShowIfPresent(picture);
    QVERIFY(splash && splash->isVisible());
    QCOMPARE(splash->size(), QSize(42, 22));
    TFormTarnMain w(tarn::settings::DataLocations::InDirectory(data_->path().toStdString()), {});
    w.OnFirstShow = [&splash] { splash.reset(); };
    w.show();
    QVERIFY(!splash);
  }
};

QTEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
