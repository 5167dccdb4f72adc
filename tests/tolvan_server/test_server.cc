#include "tests/tolvan_server/test_server.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace tolvan_test {
namespace {

std::string MakeTempFolder(const char* stem) {
  std::string pattern = (std::filesystem::temp_directory_path() / stem).string() + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern + "/";
}

void Run(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

TestCertificates MakeCertificates() {
  TestCertificates c;
  c.folder = MakeTempFolder("tolvan-certs");
  const std::string& f = c.folder;
  c.ca = f + "ca.pem";
  c.server_cert = f + "server.pem";
  c.server_key = f + "server.key";
  c.self_cert = f + "self.pem";
  c.self_key = f + "self.key";
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
  const std::string quiet = " >/dev/null 2>&1";
  Run("openssl req -x509" + ec + " -keyout " + f + "ca.key -out " + c.ca +
      " -days 2 -subj /CN=Tolvan-Test-CA -addext basicConstraints=critical,CA:TRUE"
      " -addext keyUsage=critical,keyCertSign,cRLSign" + quiet);
  WriteFile(f + "san.ext", "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n");
  Run("openssl req -new" + ec + " -keyout " + c.server_key + " -out " + f +
      "server.csr -subj /CN=127.0.0.1" + quiet);
  Run("openssl x509 -req -in " + f + "server.csr -CA " + c.ca + " -CAkey " + f +
      "ca.key -CAcreateserial -days 2 -extfile " + f + "san.ext -out " + c.server_cert + quiet);
  Run("openssl req -x509" + ec + " -keyout " + c.self_key + " -out " + c.self_cert +
      " -days 2 -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1" + quiet);
  return c;
}

}  // namespace

const TestCertificates& Certificates() {
  static const TestCertificates certificates = MakeCertificates();
  return certificates;
}

void TrustTestCa() {
  ::setenv("SSL_CERT_FILE", Certificates().ca.c_str(), 1);
  ::unsetenv("SSL_CERT_DIR");
}

TestServer::TestServer(std::string root, Mode mode) : folder_(MakeTempFolder("tolvan-server")) {
  const TestCertificates& c = Certificates();
  const std::string port_file = folder_ + "port";
  const std::string rules = folder_ + "rules.json";
  WriteFile(rules, "{}");
  std::vector<std::string> args = {
      TOLVAN_PYTHON, TOLVAN_SERVER_SCRIPT,
      "--root", root,
      "--rules", rules,
      "--cert", mode == Mode::kUntrusted ? c.self_cert : c.server_cert,
      "--key", mode == Mode::kUntrusted ? c.self_key : c.server_key,
      "--port-file", port_file,
      "--log", folder_ + "requests.log"};
  if (mode == Mode::kTls13Only) args.push_back("--tls13-only");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawn(&pid_, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start the test server");
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    std::ifstream in(port_file);
    if (in >> port_ && port_ > 0) return;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("the test server ended at start");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  throw std::runtime_error("the test server did not come up");
}

TestServer::~TestServer() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
  }
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

std::string TestServer::Url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(port_) + path;
}

void TestServer::SetRules(const std::string& json) const {
  const std::string temp = folder_ + "rules.json.tmp";
  WriteFile(temp, json);
  std::filesystem::rename(temp, folder_ + "rules.json");
}

std::vector<std::string> TestServer::RequestLog() const {
  std::vector<std::string> lines;
  std::ifstream in(folder_ + "requests.log");
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace tolvan_test
