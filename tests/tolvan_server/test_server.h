// A real HTTPS server on 127.0.0.1 for the updater's tests and benchmark: https_server.py run
// as a child process, with a certificate authority and certificates made by openssl.
#ifndef TESTS_TOLVAN_SERVER_TEST_SERVER_H_
#define TESTS_TOLVAN_SERVER_TEST_SERVER_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace tolvan_test {

// Certificates made once per process in a temporary folder: a CA, a server certificate for
// 127.0.0.1 signed by it, and a self-signed one nobody trusts.
struct TestCertificates {
  std::string folder;
  std::string ca;           // the CA certificate (PEM): what clients should trust
  std::string server_cert;  // signed by the CA, for IP 127.0.0.1
  std::string server_key;
  std::string self_cert;    // self-signed, for IP 127.0.0.1
  std::string self_key;
};
const TestCertificates& Certificates();

// Makes the updater's HTTP client (and every OpenSSL client of this process) trust the test
// CA, through SSL_CERT_FILE.
void TrustTestCa();

class TestServer {
 public:
  enum class Mode {
    kTrusted,     // TLS 1.2 and 1.3, certificate signed by the test CA
    kTls13Only,   // as kTrusted but refusing anything below TLS 1.3
    kUntrusted,   // self-signed certificate
  };

  // Serves the files under `root` (URL path "/a/b" is root + "a/b"). Throws std::runtime_error
  // when the server does not come up.
  explicit TestServer(std::string root, Mode mode = Mode::kTrusted);
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  int port() const { return port_; }
  // "https://127.0.0.1:<port>" followed by `path`.
  std::string Url(const std::string& path) const;

  // Replaces the per-path rules (JSON, see https_server.py); takes effect with the next request.
  void SetRules(const std::string& json) const;

  // One JSON object per request received so far.
  std::vector<std::string> RequestLog() const;

 private:
  std::string folder_;  // the server's own files: rules, log, port file
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace tolvan_test

#endif  // TESTS_TOLVAN_SERVER_TEST_SERVER_H_
