// A real IPP printer for tests and benchmarks: CUPS's ippeveprinter on 127.0.0.1, keeping every
// document it receives in a folder. It needs a D-Bus system bus to start (for its DNS-SD
// client, even with announcing off), so a private bus runs beside it. Both end with this object.
#ifndef REPORTENGINE_QT_IPP_PRINTER_FOR_TESTING_H_
#define REPORTENGINE_QT_IPP_PRINTER_FOR_TESTING_H_

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace re::testing {

class IppPrinter {
 public:
  IppPrinter();
  ~IppPrinter();
  IppPrinter(const IppPrinter&) = delete;
  IppPrinter& operator=(const IppPrinter&) = delete;

  // Starts the printer; false with *error when ippeveprinter is missing or does not answer.
  bool Start(QString* error);
  // ipp://127.0.0.1:<port>/ipp/print
  QString uri() const { return uri_; }
  // The documents received so far, oldest first (full paths).
  QStringList Documents() const;
  // Waits until at least `count` documents have arrived completely; false after 20 s.
  bool WaitForDocuments(int count) const;
  // What the printer logged (requests and their attributes).
  QString Log();
  // The attributes of job `job_id` as ipptool prints them ("copies (integer) = 2" …).
  QString JobAttributes(int job_id);

 private:
  QTemporaryDir dir_;
  QProcess bus_;
  QProcess printer_;
  QString uri_;
  QString log_;
};

}  // namespace re::testing

#endif  // REPORTENGINE_QT_IPP_PRINTER_FOR_TESTING_H_
