#include "kavel/mdb_connection.h"

#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "common/activity_log.h"
#include "common/env.h"
#include "common/temp_folder_for_testing.h"
#include "common/test_env.h"
#include "tools/sample_database.h"

namespace kavel {
namespace {

class MdbConnectionTest : public ::testing::Test {
 protected:
  // The sample database's bytes, made once per test.
  std::string SampleImage() {
    jet::DatabaseWriter writer;
    EXPECT_TRUE(jet::AddSampleTables(&writer, {}).ok);
    std::string image;
    EXPECT_TRUE(writer.Finish(&image).ok);
    return image;
  }

  common::TestEnv env_;  // the program folder, with a clock that stands still
  const common::TempFolderForTesting& folder_ = env_.folder();
  MdbConnection connection_{env_};
};

TEST_F(MdbConnectionTest, BadFilesFailQuietly) {
  const std::string good = SampleImage();
  std::mt19937 rng(7);
  std::string random_page(4096, '\0');
  for (char& c : random_page) c = static_cast<char>(rng());
  std::string random_after_header = good.substr(0, 4096) + std::string(good.size() - 4096, '\0');
  for (size_t i = 4096; i < random_after_header.size(); ++i) random_after_header[i] = static_cast<char>(rng());
  std::string accdb = good;
  accdb.replace(4, 15, "Standard ACE DB");
  std::string newer_version = good;
  newer_version[0x14] = 0x02;

  struct Case {
    const char* name;
    std::string bytes;
  } const cases[] = {
      {"empty", ""},
      {"text", "num,Line1\r\n1,山田\r\n"},
      {"one random page", random_page},
      {"half page", good.substr(0, 2048)},
      {"cut inside a page", good.substr(0, good.size() - 100)},
      {"cut at a page boundary", good.substr(0, good.size() / 2 / 4096 * 4096)},
      {"header page only", good.substr(0, 3 * 4096)},
      {"random after the header page", random_after_header},
      {"Access 2007 file", accdb},
      {"unknown version", newer_version},
  };
  testing::internal::CaptureStderr();
  for (const Case& c : cases) {
    folder_.Write("bad.mdb", c.bytes);
    EXPECT_FALSE(connection_.OpenMDB(folder_.path() + "bad.mdb")) << c.name;
    EXPECT_FALSE(connection_.IsOpen()) << c.name;
  }
  EXPECT_FALSE(connection_.OpenMDB(folder_.path() + "missing.mdb"));
  EXPECT_FALSE(connection_.OpenMDB(folder_.path()));  // a folder
  ASSERT_EQ(::mkfifo((folder_.path() + "fifo.mdb").c_str(), 0600), 0);
  EXPECT_FALSE(connection_.OpenMDB(folder_.path() + "fifo.mdb"));  // returns at once, no writer needed
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  // The same connection then opens a good file.
  folder_.Write("good.mdb", good);
  EXPECT_TRUE(connection_.OpenMDB(folder_.path() + "good.mdb"));
}

TEST_F(MdbConnectionTest, DamagedPagesNeverTakeTheProgramDown) {
  // Bytes changed at random in the catalog, definition, map and data pages: libmdb may crash or
  // stall on such a file, but only ever in the reader program; here every call returns.
  const std::string good = SampleImage();
  std::mt19937 rng(11);
  int opened = 0;
  for (int round = 0; round < 20; ++round) {
    std::string damaged = good;
    for (int n = 0; n < 12; ++n) {
      const size_t page = 1 + rng() % (damaged.size() / 4096 - 1);
      damaged[page * 4096 + (rng() % 2 ? rng() % 64 : rng() % 4096)] = static_cast<char>(rng());
    }
    folder_.Write("damaged.mdb", damaged);
    // Every other round the checking reader goes on with ADOQuery3's rows.
    if (!connection_.OpenMDB(folder_.path() + "damaged.mdb", round % 2 ? &connection_.ADOQuery3() : nullptr)) continue;
    ++opened;
    std::string error;
    for (MdbTableSource* source : {&connection_.ADOQuery1(), &connection_.ADOQuery3(), &connection_.ADOQuery4()}) {
      error.clear();
      if (source->Open(&error)) {
        for (bool row = source->First(&error); row; row = source->Next(&error)) {
        }
      }
      if (!source->IsOpen() || !error.empty()) {
        EXPECT_FALSE(error.empty());
      }
    }
  }
  EXPECT_GT(opened, 0);
}

TEST_F(MdbConnectionTest, UnreadableFileFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  folder_.Write("locked.mdb", SampleImage());
  std::filesystem::permissions(folder_.path() + "locked.mdb", std::filesystem::perms::none);
  EXPECT_FALSE(connection_.OpenMDB(folder_.path() + "locked.mdb"));
}

TEST_F(MdbConnectionTest, LogLineNamesTheDefaultDatabase) {
  folder_.Write("Data.Rpt", SampleImage());
  std::filesystem::create_directory(folder_.path() + "data dir;1");
  const std::string other = folder_.path() + "data dir;1/チェック 結果;.mdb";  // blanks, semicolons
  std::filesystem::copy_file(folder_.path() + "Data.Rpt", other);

  EXPECT_TRUE(connection_.OpenMDB(""));
  EXPECT_TRUE(connection_.OpenMDB(other));
  EXPECT_FALSE(connection_.OpenMDB(other + "x"));
  const std::string line = "2024/05/01 9:30:05 DBsource:" + folder_.path() + "Data.Rpt\r\n";
  EXPECT_EQ(folder_.Read("Pdf.log"), line + line + line);

  std::string error;
  EXPECT_FALSE(connection_.IsOpen());
  EXPECT_FALSE(connection_.ADOQuery1().Open(&error));
  ASSERT_TRUE(connection_.OpenMDB(other));
  ASSERT_TRUE(connection_.ADOQuery1().Open(&error)) << error;
  EXPECT_TRUE(connection_.ADOQuery1().First(&error)) << error;
}

TEST_F(MdbConnectionTest, NeverLocksTheDatabase) {
  folder_.Write("Data.Rpt", SampleImage());
  const std::string path = folder_.path() + "Data.Rpt";
  // The main application holds the file locked while Kavel opens and reads it, and may lock it
  // again afterwards.
  const int held = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ASSERT_EQ(::lockf(held, F_LOCK, 0), 0);
  EXPECT_TRUE(connection_.OpenMDB(path));
  std::string error;
  EXPECT_TRUE(connection_.ADOQuery3().Open(&error)) << error;
  ::close(held);
  const int again = ::open(path.c_str(), O_RDWR);
  ASSERT_GE(again, 0);
  EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
  ::close(again);
}

TEST_F(MdbConnectionTest, UnwritableLogThrows) {
  common::SystemEnv missing(folder_.path() + "no such folder/");
  MdbConnection connection(missing);
  EXPECT_THROW(connection.OpenMDB(""), common::IoError);
}

}  // namespace
}  // namespace kavel
