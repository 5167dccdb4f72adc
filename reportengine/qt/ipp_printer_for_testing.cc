#include "reportengine/qt/ipp_printer_for_testing.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace re::testing {
namespace {

// A port on 127.0.0.1 that nothing listens on just now.
int FreePort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return 0;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool Answers(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return ok;
}

}  // namespace

IppPrinter::IppPrinter() = default;

IppPrinter::~IppPrinter() {
  for (QProcess* process : {&printer_, &bus_}) {
    if (process->state() != QProcess::NotRunning) {
      process->terminate();
      if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
      }
    }
  }
}

bool IppPrinter::Start(QString* error) {
  QString program = QStandardPaths::findExecutable(QStringLiteral("ippeveprinter"));
  if (program.isEmpty()) {
    program = QStandardPaths::findExecutable(QStringLiteral("ippeveprinter"),
                                             {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
  }
  const QString dbus = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
  if (program.isEmpty() || dbus.isEmpty()) {
    *error = QStringLiteral("ippeveprinter or dbus-daemon is not installed");
    return false;
  }
  if (!dir_.isValid() || !QDir(dir_.path()).mkpath(QStringLiteral("spool"))) {
    *error = QStringLiteral("no temporary folder");
    return false;
  }
  const QString bus_address = QStringLiteral("unix:path=%1/bus").arg(dir_.path());
  bus_.start(dbus, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--address=") + bus_address});
  if (!bus_.waitForStarted(5000)) {
    *error = QStringLiteral("dbus-daemon did not start");
    return false;
  }
  QDeadlineTimer bus_up(5000);
  while (!QFileInfo::exists(dir_.path() + QStringLiteral("/bus")) && !bus_up.hasExpired()) {
    QThread::msleep(20);
  }

  const int port = FreePort();
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), bus_address);
  printer_.setProcessEnvironment(env);
  printer_.setProcessChannelMode(QProcess::MergedChannels);
  // -k keeps each document; -2 offers two-sided printing; "localhost" listens on both loopbacks.
  printer_.start(program, {QStringLiteral("-n"), QStringLiteral("localhost"),
                           QStringLiteral("-p"), QString::number(port),
                           QStringLiteral("-d"), dir_.path() + QStringLiteral("/spool"),
                           QStringLiteral("-k"), QStringLiteral("-2"), QStringLiteral("-v"),
                           QStringLiteral("-f"), QStringLiteral("application/pdf"),
                           QStringLiteral("-r"), QStringLiteral("off"),
                           QStringLiteral("TestPrinter")});
  if (!printer_.waitForStarted(5000)) {
    *error = QStringLiteral("ippeveprinter did not start");
    return false;
  }
  QDeadlineTimer up(10000);
  while (!Answers(port)) {
    if (up.hasExpired() || printer_.state() == QProcess::NotRunning) {
      *error = QStringLiteral("ippeveprinter did not answer: ") + Log();
      return false;
    }
    QThread::msleep(50);
  }
  uri_ = QStringLiteral("ipp://127.0.0.1:%1/ipp/print").arg(port);
  return true;
}

QStringList IppPrinter::Documents() const {
  QStringList paths;
  const QDir spool(dir_.path() + QStringLiteral("/spool"));
  for (const QFileInfo& file : spool.entryInfoList(QDir::Files, QDir::Time | QDir::Reversed)) {
    paths << file.absoluteFilePath();
  }
  return paths;
}

bool IppPrinter::WaitForDocuments(int count) const {
  QDeadlineTimer deadline(20000);
  while (Documents().size() < count) {
    if (deadline.hasExpired()) return false;
    QThread::msleep(50);
  }
  return true;
}

QString IppPrinter::JobAttributes(int job_id) {
  const QString test = dir_.path() + QStringLiteral("/get-job.test");
  QFile file(test);
  if (!file.open(QIODevice::WriteOnly)) return QString();
  file.write("{\n OPERATION Get-Job-Attributes\n GROUP operation-attributes-tag\n"
             " ATTR charset attributes-charset utf-8\n"
             " ATTR naturalLanguage attributes-natural-language en\n"
             " ATTR uri printer-uri $uri\n ATTR integer job-id $job\n"
             " ATTR keyword requested-attributes all\n}\n");
  file.close();
  QProcess tool;
  tool.setProcessChannelMode(QProcess::MergedChannels);
  tool.start(QStringLiteral("ipptool"), {QStringLiteral("-tv"), QStringLiteral("-d"),
                                        QStringLiteral("job=%1").arg(job_id), uri_, test});
  tool.waitForFinished(20000);
  return QString::fromUtf8(tool.readAllStandardOutput());
}

QString IppPrinter::Log() {
  log_ += QString::fromUtf8(printer_.readAll());
  return log_;
}

}  // namespace re::testing
