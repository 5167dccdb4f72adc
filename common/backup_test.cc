#include "common/backup.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <gtest/gtest.h>

#include "common/activity_log.h"
#include "tests/support/program_folder_override_for_testing.h"
#include "common/settings.h"
#include "common/temp_folder_for_testing.h"
#include "common/text_encoding.h"

namespace common {
namespace {

namespace fs = std::filesystem;

constexpr LocalDateTime kWhen{2024, 5, 1, 9, 30, 5, 0};
constexpr char kStamp[] = "2024-05-01093005";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The texts of the backup log's lines, without their time stamps.
std::vector<std::string> LogTexts(const std::string& path) {
  std::vector<std::string> texts;
  const std::string log = Cp932ToUtf8(ReadBytes(path));
  size_t start = 0;
  for (size_t end; (end = log.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = log.substr(start, end - start);
    const size_t after_date = line.find(' ');
    texts.push_back(line.substr(line.find(' ', after_date + 1) + 1));
  }
  return texts;
}

// A program folder with Norvik.exe and Tolvan.exe, and a data folder with the database and the
// files beside it.
class BackupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OverrideProgramFolderForTesting(root_.path() + "program/");
    fs::create_directories(program());
    fs::create_directories(data());
    InstallPrograms("version_ja.exe");
  }
  void TearDown() override { OverrideProgramFolderForTesting(""); }

  std::string program() const { return root_.path() + "program/"; }
  std::string data() const { return root_.path() + "data/"; }

  void InstallPrograms(const char* fixture) {
    for (const char* name : {"Norvik.exe", "Tolvan.exe"}) {
      fs::copy_file(std::string(PE_FIXTURE_DIR) + fixture, program() + name,
                    fs::copy_options::overwrite_existing);
    }
  }
  void PutBesideDatabase(const std::vector<std::string>& names) {
    for (const auto& name : names) root_.Write("data/" + name, "contents of " + name);
  }

  TempFolderForTesting root_;
};

TEST_F(BackupTest, CopiesTheFourFilesAndLogsEach) {
  struct Case {
    const char* name;
    int kind;
    std::string database;  // file name in the data folder
    const char* prefix;
  } const cases[] = {
      {"kind 1", 1, "NV.FDB", "NV"},
      {"kind 2", 2, "NV.FDB", "USR"},
      {"kind 0", 0, "NV.FDB", "NV"},
      {"kind 3", 3, "NV.FDB", "NV"},
      // The files beside the database are backed up, not the database under their names.
      {"database name in lower case", 1, "nv.fdb", "NV"},
      {"database with another name", 1, "Claims2024.FDB", "NV"},
  };
  for (const auto& c : cases) {
    fs::remove_all(program() + "BKData");
    fs::remove_all(program() + "Log");
    fs::remove_all(data());
    fs::create_directories(data());
    PutBesideDatabase({c.database, "user.ini", "Norvik.exe", "Tolvan.exe"});
    IFWriteIniStr("Data", "DataBaseName", data() + c.database);

    EXPECT_TRUE(BackUpProAt("マスター更新前", c.kind, kWhen)) << c.name;
    const std::string bk = program() + "BKData/";
    const std::string base = std::string(c.prefix) + kStamp;
    EXPECT_EQ(ReadBytes(bk + base + ".FDB"), "contents of " + c.database) << c.name;
    EXPECT_EQ(ReadBytes(bk + base + ".ini"), "contents of user.ini") << c.name;
    EXPECT_EQ(ReadBytes(bk + "PGM/Norvik_2.0.0.2"), "contents of Norvik.exe") << c.name;
    EXPECT_EQ(ReadBytes(bk + "PGM/Tolvan_2.0.0.2"), "contents of Tolvan.exe") << c.name;
    EXPECT_EQ(LogTexts(program() + "Log/backup.log"),
              (std::vector<std::string>{
                  "マスター更新前:\"" + base + ".FDB\"名でバックアップ完了",
                  "マスター更新前:\"" + base + ".ini\"名でバックアップ完了",
                  "マスター更新前:\"Norvik.exeバックアップ完了",
                  "マスター更新前:\"Tolvan.exeバックアップ完了",
              }))
        << c.name;
  }
}

TEST_F(BackupTest, FoldersAndPartialBackups) {
  PutBesideDatabase({"user.ini"});  // only the settings file beside a missing database
  IFWriteIniStr("Data", "DataBaseName", data() + "NV.FDB");
  InstallPrograms("no_resources.exe");

  EXPECT_TRUE(BackUpProAt("x", 1, kWhen));
  EXPECT_TRUE(fs::is_directory(program() + "BKData/PGM"));
  EXPECT_EQ(LogTexts(program() + "Log/backup.log"),
            std::vector<std::string>{std::string("x:\"NV") + kStamp + ".ini\"名でバックアップ完了"});

  // Programs without a version resource: the names end with "_".
  PutBesideDatabase({"Norvik.exe"});
  EXPECT_TRUE(BackUpProAt("x", 1, kWhen));
  EXPECT_TRUE(fs::exists(program() + "BKData/PGM/Norvik_"));
}

TEST_F(BackupTest, ConfiguredBackupFolderIsUsedAsWritten) {
  PutBesideDatabase({"NV.FDB", "user.ini", "Norvik.exe", "Tolvan.exe"});
  IFWriteIniStr("Data", "DataBaseName", data() + "NV.FDB");

  // Without a trailing separator the names are simply appended.
  IFWriteIniStr("PARAM", "BACKUP", root_.path() + "Save");
  EXPECT_TRUE(BackUpProAt("x", 1, kWhen));
  EXPECT_TRUE(fs::exists(root_.path() + "SaveNV" + kStamp + ".FDB"));
  EXPECT_TRUE(fs::exists(root_.path() + "SavePGM/Norvik_2.0.0.2"));
  EXPECT_FALSE(fs::exists(program() + "BKData"));

  // A configured folder that does not exist is not made, and nothing is copied or logged.
  fs::remove_all(program() + "Log");
  IFWriteIniStr("PARAM", "BACKUP", root_.path() + "missing/");
  EXPECT_FALSE(BackUpProAt("x", 1, kWhen));
  EXPECT_FALSE(fs::exists(root_.path() + "missing"));
  EXPECT_FALSE(fs::exists(program() + "Log"));
}

TEST_F(BackupTest, NoDatabaseSettingStillMakesTheFolders) {
  PutBesideDatabase({"NV.FDB", "user.ini"});
  EXPECT_FALSE(BackUpProAt("x", 1, kWhen));
  EXPECT_TRUE(fs::is_directory(program() + "BKData/PGM"));
  EXPECT_TRUE(fs::is_empty(program() + "BKData/PGM"));
  EXPECT_FALSE(fs::exists(program() + "Log"));
}

TEST_F(BackupTest, UnwritableLogEndsTheBackupAfterTheFirstCopy) {
  PutBesideDatabase({"NV.FDB", "user.ini", "Norvik.exe", "Tolvan.exe"});
  IFWriteIniStr("Data", "DataBaseName", data() + "NV.FDB");
  root_.Write("program/Log", "a file where the log folder should be");

  EXPECT_THROW(BackUpProAt("x", 1, kWhen), IoError);
  EXPECT_TRUE(fs::exists(program() + "BKData/NV" + kStamp + ".FDB"));
  EXPECT_FALSE(fs::exists(program() + "BKData/NV" + kStamp + ".ini"));
  EXPECT_FALSE(fs::exists(program() + "BKData/PGM"));
}

TEST(BackupStampTest, Format) {
  EXPECT_EQ(FormatBackupStamp(kWhen), "2024-05-01093005");
  EXPECT_EQ(FormatBackupStamp(LocalDateTime{1999, 12, 31, 23, 59, 59, 999}), "1999-12-31235959");
  EXPECT_EQ(FormatBackupStamp(LocalDateTime{2024, 1, 2, 0, 0, 0, 0}), "2024-01-02000000");
}

}  // namespace
}  // namespace common
