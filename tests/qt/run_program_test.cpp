// The built program end to end, started as a user starts it, on a fixture
// prefix. It draws on Qt's VNC platform on the loopback interface, and the
// test is its keyboard: Return presses OK, the default button, and then
// answers every message box until the program has ended.

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/qt/run_fixture.h"

using namespace testing_support;

namespace {

using std::chrono::steady_clock;

// Long enough for a sanitizer build to start Qt; only a hang runs into it.
constexpr std::chrono::seconds kPatience(90);

constexpr quint32 kReturnKey = 0xFF0D;  // X keysym, as VNC sends keys

quint16 FreeLoopbackPort() {
  QTcpServer probe;
  if (!probe.listen(QHostAddress::LocalHost, 0)) return 0;
  return probe.serverPort();
}

// The smallest VNC client that can type: the version 3.3 handshake without
// security, then key events only. Pixels are never asked for.
class VncKeyboard {
 public:
  // Keeps trying until the program's server answers or `deadline`.
  bool Connect(quint16 port, steady_clock::time_point deadline) {
    while (steady_clock::now() < deadline) {
      m_socket.connectToHost(QHostAddress::LocalHost, port);
      if (m_socket.waitForConnected(1000) && Handshake()) return true;
      m_socket.abort();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  void Press(quint32 key) {
    for (quint8 down : {1, 0}) {
      char event[8] = {4, static_cast<char>(down), 0, 0};
      qToBigEndian(key, event + 4);
      m_socket.write(event, sizeof event);
    }
    m_socket.flush();
  }

 private:
  QByteArray Read(qint64 size) {
    QByteArray bytes;
    while (bytes.size() < size && (m_socket.bytesAvailable() > 0 || m_socket.waitForReadyRead(5000)))
      bytes += m_socket.read(size - bytes.size());
    return bytes;
  }

  bool Handshake() {
    const QByteArray version = Read(12);
    if (!version.startsWith("RFB ")) return false;
    m_socket.write("RFB 003.003\n");
    const QByteArray security = Read(4);  // 1: none
    if (security.size() != 4 || qFromBigEndian<quint32>(security.constData()) != 1) return false;
    m_socket.write("\x01", 1);  // share the desktop
    const QByteArray init = Read(24);
    if (init.size() != 24) return false;
    Read(qFromBigEndian<quint32>(init.constData() + 20));  // the desktop's name
    return true;
  }

  QTcpSocket m_socket;
};

std::string Path(const std::string& name) { return kWorld + "\\" + name; }

extern "C" const char* __tsan_default_suppressions();  // NOLINT(bugprone-reserved-identifier): the runtime's name

// Sanitizer options for the program: this test's own `variable` with a
// file of `rules` added, as the program's sanitizer runtime reads them from
// a file. Builds without that sanitizer ignore the variable.
QString WithSuppressions(const char* variable, const TestPrefix& prefix, const char* rules) {
  const std::string file = prefix.root() + "/" + variable + ".supp";
  std::ofstream(file) << rules;
  const QString inherited = qEnvironmentVariable(variable);
  return (inherited.isEmpty() ? QString() : inherited + ":") + "suppressions=" + QString::fromStdString(file);
}

TEST(RunProgramTest, WholeRunAnsweredFromTheKeyboard) {
  TestPrefix prefix;
  InstallBrowser(prefix);
  prefix.WriteFile(Path("a.wrl"), kBumpsOn);
  prefix.WriteFile(Path("b.wrl"), kBumpsOn);
  prefix.WriteFile(Path("city\\city.wrl"), kPlainWorld);
  prefix.WriteFile(Path("quiet.wrl"), kAlreadyQuiet);
  std::filesystem::permissions(prefix.HostPath(Path("b.wrl")), std::filesystem::perms::owner_read);

  const quint16 port = FreeLoopbackPort();
  ASSERT_NE(port, 0);
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert("QT_QPA_PLATFORM", QString("vnc:port=%1:size=800x600").arg(port));
  environment.insert("WINEPREFIX", QString::fromStdString(prefix.root()));
  // This test's rules about Qt for ThreadSanitizer; and Qt's VNC platform,
  // used only here, keeps its screen buffers to the end of the process.
  environment.insert("TSAN_OPTIONS", WithSuppressions("TSAN_OPTIONS", prefix, __tsan_default_suppressions()));
  environment.insert("LSAN_OPTIONS", WithSuppressions("LSAN_OPTIONS", prefix, "leak:libqvnc.so\n"));
  // The plugin's leak is not always matched by that rule (its frames carry
  // no symbols), and this test is about the run, not about leaks: the
  // in-process window tests keep the leak checker on our own code.
  const QString asanOptions = qEnvironmentVariable("ASAN_OPTIONS");
  environment.insert("ASAN_OPTIONS", (asanOptions.isEmpty() ? QString() : asanOptions + ":") + "detect_leaks=0");
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::ForwardedChannels);
  program.start(QUIETWALK_PROGRAM, {});
  ASSERT_TRUE(program.waitForStarted()) << program.errorString().toStdString();

  const auto deadline = steady_clock::now() + kPatience;
  VncKeyboard keyboard;
  if (!keyboard.Connect(port, deadline)) {
    program.kill();
    program.waitForFinished();
    GTEST_SKIP() << "the program offers no VNC screen (Qt's VNC platform plugin missing?)";
  }
  // Presses that find no window, or the disabled dialog, go nowhere.
  while (program.state() != QProcess::NotRunning && steady_clock::now() < deadline) {
    keyboard.Press(kReturnKey);
    program.waitForFinished(200);
  }
  if (program.state() != QProcess::NotRunning) {
    program.kill();
    program.waitForFinished();
    FAIL() << "the program did not end";
  }
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);

  EXPECT_EQ(prefix.ReadFile(Path("a.wrl")), kBumpsOnMadeQuiet);
  EXPECT_EQ(prefix.ReadFile(Path("b.wrl")), kBumpsOn);
  EXPECT_EQ(prefix.ReadFile(Path("city\\city.wrl")), PlainWorldPatched(0));
  EXPECT_EQ(prefix.ReadFile(Path("quiet.wrl")), kAlreadyQuiet);
}

}  // namespace
