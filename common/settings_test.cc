#include "common/settings.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "common/activity_log.h"
#include "common/env.h"
#include "common/temp_folder_for_testing.h"
#include "common/test_env.h"
#include "common/text_encoding.h"

namespace common {
namespace {

std::string Utf16File(std::string_view text) { return "\xFF\xFE" + Utf8ToUtf16Le(text); }

class SettingsTest : public ::testing::Test {
 protected:
  std::string IniPath() const { return folder_.path() + "user.ini"; }

  TestEnv env_;                                         // user.ini in a fresh program folder
  const TempFolderForTesting& folder_ = env_.folder();  // that folder
};

struct ReadCase {
  const char* name;
  const char* file;  // nullptr: no user.ini
  std::string section, key, def, expected;
};

TEST_F(SettingsTest, ReadsLikeThePrivateProfileFunctions) {
  const std::string long_value(3000, 'v');
  const std::string long_file = "[PARAM]\r\nNVKMST=" + long_value + "\r\n";
  const ReadCase cases[] = {
      {"no file gives the default", nullptr, "PARAM", "DISK", "150", "150"},
      {"missing key gives the default", "[PARAM]\r\nPDF=1\r\n", "PARAM", "DISK", "150", "150"},
      {"missing section", "[UPD]\r\nDISK=1\r\n", "PARAM", "DISK", "150", "150"},
      {"blanks trimmed", "[PARAM]\r\nDISK= \t 200  \r\n", "PARAM", "DISK", "", "200"},
      {"double quotes removed, inner blanks kept", "[P]\r\nK = \" a b \" \r\n", "P", "K", "", " a b "},
      {"single quotes removed", "[P]\r\nK='x'\r\n", "P", "K", "", "x"},
      {"unmatched quotes kept", "[P]\r\nK=\"x'\r\n", "P", "K", "", "\"x'"},
      {"names ignore letter case", "[param]\r\ndisk=300\r\n", "PARAM", "DISK", "", "300"},
      {"blanks around names", "  [ PARAM ]  \r\n  DISK  =7\r\n", "PARAM", "DISK", "", "7"},
      {"empty value is not the default", "[PARAM]\r\nNOUPD=\r\n", "PARAM", "NOUPD", "x", ""},
      {"first of duplicate keys", "[P]\r\nK=1\r\nK=2\r\n", "P", "K", "", "1"},
      {"key of another section", "[A]\r\nK=1\r\n[B]\r\nJ=2\r\n", "B", "K", "d", "d"},
      {"a ; line is the key of its own name", "[P]\r\n;K=1\r\n", "P", "K", "d", "d"},
      {"lines before any section", "K=1\r\n[P]\r\n", "P", "K", "d", "d"},
      {"LF line ends", "[P]\nK=lf\n", "P", "K", "", "lf"},
      {"last line without line end", "[P]\r\nK=end", "P", "K", "", "end"},
      {"CP932 value", "[Data]\r\nDataBaseName=C:\\\x83\x66\x81\x5B\x83\x5E\\NV.FDB\r\n", "Data",
       "DataBaseName", "", "C:\\データ\\NV.FDB"},
      {"CP932 section whose trail byte is ]", "[\x83\x5D]\r\nK=z\r\n", "ゾ", "K", "", "z"},
      {"value cut to 2047 characters", long_file.c_str(), "PARAM", "NVKMST", "",
       long_value.substr(0, 2047)},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(IniPath());
    if (c.file != nullptr) folder_.Write("user.ini", c.file);
    EXPECT_EQ(env_.IFReadIniStr(c.section, c.key, c.def), c.expected) << c.name;
  }
}

TEST_F(SettingsTest, ReadsUtf16File) {
  folder_.Write("user.ini", Utf16File("[Data]\r\nDataBaseName = \"D:\\データ\\NV.FDB\"\r\n"));
  EXPECT_EQ(env_.IFReadIniStr("DATA", "databasename", ""), "D:\\データ\\NV.FDB");
}

struct WriteCase {
  const char* name;
  const char* before;  // nullptr: no user.ini
  std::string section, key, value;
  std::string after;
};

TEST_F(SettingsTest, WritesOneValueAndKeepsEveryOtherLine) {
  const WriteCase cases[] = {
      {"new file is CP932 with CRLF", nullptr, "PARAM", "NOUPD", "", "[PARAM]\r\nNOUPD=\r\n"},
      {"value replaced in place, key spelling kept",
       "; head\r\n[param]\r\n  noupd = 1 \r\nX=2\r\n", "PARAM", "NOUPD", "9",
       "; head\r\n[param]\r\nnoupd=9\r\nX=2\r\n"},
      {"new key after the last line of its section",
       "[A]\r\nK=1\r\n\r\n[B]\r\nL=2\r\n", "A", "NEW", "v", "[A]\r\nK=1\r\nNEW=v\r\n\r\n[B]\r\nL=2\r\n"},
      {"new key in an empty last section", "[A]\r\n", "A", "K", "1", "[A]\r\nK=1\r\n"},
      {"new section at the end, missing line end added", "[A]\r\nK=1", "UPD", "TIME",
       "202405010930", "[A]\r\nK=1\r\n[UPD]\r\nTIME=202405010930\r\n"},
      {"LF file stays LF", "[A]\nK=1\n", "A", "J", "2", "[A]\nK=1\nJ=2\n"},
      {"untouched lines kept byte for byte, even invalid CP932",
       "[A]\r\nX=\x80\xA0\x83\r\n# odd line\r\nK=old\r\n", "A", "K", "new",
       "[A]\r\nX=\x80\xA0\x83\r\n# odd line\r\nK=new\r\n"},
      {"second of duplicate sections untouched", "[A]\r\nK=1\r\n[a]\r\nK=2\r\n", "A", "K", "3",
       "[A]\r\nK=3\r\n[a]\r\nK=2\r\n"},
      {"empty file", "", "CALL", "STATUS", "1", "[CALL]\r\nSTATUS=1\r\n"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(IniPath());
    if (c.before != nullptr) folder_.Write("user.ini", c.before);
    env_.IFWriteIniStr(c.section, c.key, c.value);
    EXPECT_EQ(folder_.Read("user.ini"), c.after) << c.name;
  }
}

// Where the platform's profile functions and the activity log behave in ways that are easy to
// miss: names given to a read or write are trimmed; ";" starts no comment; a character outside
// the basic multilingual plane becomes one "?" per UTF-16 unit in CP932 text.
TEST_F(SettingsTest, PlatformDetailsOfNamesCommentsAndWideCharacters) {
  const struct {
    const char* name;
    const char* before;
    std::function<std::string()> action;  // returns what the action read, if anything
    const char* read;
    const char* after;
  } rows[] = {
      {"read names trimmed", "[PARAM]\r\nDISK=200\r\n",
       [this] { return env_.IFReadIniStr(" PARAM ", "\tDISK ", "150"); }, "200", "[PARAM]\r\nDISK=200\r\n"},
      {"write names trimmed", "[PARAM]\r\nNOUPD=1\r\n",
       [this] { env_.IFWriteIniStr(" PARAM ", " NOUPD ", "9"); return std::string(); }, "",
       "[PARAM]\r\nNOUPD=9\r\n"},
      {"new section and key written trimmed", "",
       [this] { env_.IFWriteIniStr(" CALL ", " STATUS ", "1"); return std::string(); }, "",
       "[CALL]\r\nSTATUS=1\r\n"},
      {"; line read as a key", "[P]\r\n;c=x\r\n", [this] { return env_.IFReadIniStr("P", ";c", "d"); },
       "x", "[P]\r\n;c=x\r\n"},
      {"; line written as a key", "[P]\r\n;c=x\r\n",
       [this] { env_.IFWriteIniStr("P", ";c", "y"); return std::string(); }, "", "[P]\r\n;c=y\r\n"},
      {"emoji written as two ?", "", [this] { env_.IFWriteIniStr("P", "K", "a😀b"); return std::string(); },
       "", "[P]\r\nK=a??b\r\n"},
      {"emoji in a log line as two ?", nullptr,
       [this] {
         WrtLogAt(folder_.path() + "user.ini", "ログ😀", LocalDateTime{2024, 5, 1, 9, 30, 5, 0});
         return std::string();
       },
       "", "2024/05/01 9:30:05 \x83\x8D\x83\x4F??\r\n"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(IniPath());
    if (row.before != nullptr) folder_.Write("user.ini", row.before);
    EXPECT_EQ(row.action(), row.read);
    EXPECT_EQ(folder_.Read("user.ini"), row.after);
  }
}

TEST_F(SettingsTest, Utf16FileStaysUtf16) {
  folder_.Write("user.ini", Utf16File("[PARAM]\r\nNAME=日本\r\n"));
  env_.IFWriteIniStr("PARAM", "NOUPD", "1");
  EXPECT_EQ(folder_.Read("user.ini"), Utf16File("[PARAM]\r\nNAME=日本\r\nNOUPD=1\r\n"));
}

TEST_F(SettingsTest, WrittenValueIsReadBack) {
  env_.IFWriteIniStr("EXPAND", "STAUS", "START");
  env_.IFWriteIniStr("PARAM", "NOUPD", "");
  EXPECT_EQ(env_.IFReadIniStr("EXPAND", "STAUS", ""), "START");
  EXPECT_EQ(env_.IFReadIniStr("PARAM", "NOUPD", "x"), "");
  // Only user.ini remains: no temporary file, and no lock file beside it.
  EXPECT_EQ(FileNamesIn(folder_.path()), (std::set<std::string>{"user.ini"}));
}

// A read-only user.ini is never written; a folder that takes no new file still has its
// writable user.ini rewritten in place, but cannot get a new one.
TEST_F(SettingsTest, ReadOnlyFilesAndFolders) {
  struct Case {
    const char* name;
    bool file_exists;
    mode_t file_mode;
    mode_t folder_mode;
    bool written;
  };
  for (const Case c : {Case{"read-only file", true, 0444, 0755, false},
                       Case{"read-only folder, no file", false, 0, 0555, false},
                       Case{"read-only folder, writable file", true, 0644, 0555, true}}) {
    TempFolderForTesting folder;
    SystemEnv env(folder.path());
    if (c.file_exists) {
      folder.Write("user.ini", "[A]\r\nK=1\r\n");
      ASSERT_EQ(::chmod((folder.path() + "user.ini").c_str(), c.file_mode), 0);
    }
    ASSERT_EQ(::chmod(folder.path().c_str(), c.folder_mode), 0);
    bool thrown = false;
    try {
      env.IFWriteIniStr("A", "K", "2");
    } catch (const SettingsWriteError& e) {
      thrown = true;
      EXPECT_EQ(std::string(e.what()), folder.path() + "user.ini に書き込めません") << c.name;
    }
    ::chmod(folder.path().c_str(), 0755);
    EXPECT_EQ(thrown, !c.written) << c.name;
    if (c.file_exists) {
      EXPECT_EQ(folder.Read("user.ini"), c.written ? "[A]\r\nK=2\r\n" : "[A]\r\nK=1\r\n")
          << c.name;
    }
    EXPECT_EQ(FileNamesIn(folder.path()), c.file_exists ? std::set<std::string>{"user.ini"} : std::set<std::string>{})
        << c.name;
  }
}

TEST_F(SettingsTest, FifoInPlaceOfTheFileNeitherBlocksNorIsOverwritten) {
  ASSERT_EQ(::mkfifo(IniPath().c_str(), 0644), 0);
  EXPECT_EQ(env_.IFReadIniStr("PARAM", "DISK", "150"), "150");
  EXPECT_THROW(env_.IFWriteIniStr("PARAM", "DISK", "1"), SettingsWriteError);
  EXPECT_TRUE(std::filesystem::is_fifo(IniPath()));
}

// Two processes write different keys at the same time, many times; a third reads all along.
// With a plain rewrite one writer's key can vanish, and a reader can see a half-written file.
TEST_F(SettingsTest, ConcurrentWritersLoseNothingAndReadersSeeWholeFiles) {
  constexpr int kWrites = 100;
  folder_.Write("user.ini", "[KEYS]\r\n[Z]\r\nANCHOR=1\r\n");
  pid_t writers[2];
  for (int w = 0; w < 2; ++w) {
    writers[w] = ::fork();
    ASSERT_GE(writers[w], 0);
    if (writers[w] == 0) {
      int status = 0;
      try {
        for (int i = 0; i < kWrites; ++i) {
          env_.IFWriteIniStr("KEYS", "W" + std::to_string(w) + "_" + std::to_string(i), std::to_string(i));
        }
      } catch (...) {
        status = 1;
      }
      ::_exit(status);
    }
  }
  int torn_reads = 0;
  int running = 2;
  while (running > 0) {
    if (env_.IFReadIniStr("Z", "ANCHOR", "") != "1") ++torn_reads;
    int status = 0;
    const pid_t done = ::waitpid(-1, &status, WNOHANG);
    if (done > 0) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
      --running;
    }
  }
  EXPECT_EQ(torn_reads, 0);
  int lost = 0;
  for (int w = 0; w < 2; ++w) {
    for (int i = 0; i < kWrites; ++i) {
      if (env_.IFReadIniStr("KEYS", "W" + std::to_string(w) + "_" + std::to_string(i), "") != std::to_string(i)) ++lost;
    }
  }
  EXPECT_EQ(lost, 0);
}

}  // namespace
}  // namespace common
