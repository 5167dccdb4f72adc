// Runs a check in a folder that takes no new file while the files in it may still be written,
// as a folder of a read-only mount or without write permission is. For tests only.
#ifndef COMMON_CLOSED_FOLDER_FOR_TESTING_H_
#define COMMON_CLOSED_FOLDER_FOR_TESTING_H_

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace common {

// Runs `body` in a child process and returns the text it returns. A body that finds what it
// needs cannot be arranged here ends the child with _exit(77): nullopt. Any other end of the
// child gives "child failed".
inline std::optional<std::string> InChildProcess(const std::function<std::string()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    const std::string result = body();
    if (::write(fds[1], result.data(), result.size()) < 0) ::_exit(2);
    ::_exit(0);
  }
  ::close(fds[1]);
  std::string result;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) result.append(buffer, n);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return std::nullopt;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return result;
}

// Runs `check` with `folder` refusing new files while files in it may still be written: for a
// user by its permission bits; for root, whom permission bits do not stop, by making the
// folder's mount read-only in a private mount namespace after giving each file its own writable
// mount. `check` returns "" or what went wrong. Returns nullopt when neither can be arranged.
inline std::optional<std::string> InClosedFolder(const std::string& folder,
                                          const std::function<std::string()>& check) {
  const std::optional<std::string> result = InChildProcess([&] {
    if (::geteuid() == 0) {
      if (::unshare(CLONE_NEWNS) != 0 ||
          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        ::_exit(77);
      }
      for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string file = entry.path().string();
        if (::mount(file.c_str(), file.c_str(), nullptr, MS_BIND, nullptr) != 0) ::_exit(77);
      }
      if (::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
          0) {
        ::_exit(77);
      }
    } else {
      ::chmod(folder.c_str(), 0555);
    }
    return check();
  });
  ::chmod(folder.c_str(), 0755);
  return result;
}

}  // namespace common

#endif  // COMMON_CLOSED_FOLDER_FOR_TESTING_H_
