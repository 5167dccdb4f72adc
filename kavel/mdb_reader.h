// kavel-mdb-reader: the one program that lets libmdb see a check-results database.
//
// libmdb is not hardened against damaged files, so Kavel never loads it: to look at the database
// it starts this small program (a fresh process by posix_spawn, safe while the window threads
// run) and reads its standard output, as a run needs it: a run starts one reader, which checks
// the database and goes on with the rows of the list to print. A fault or a stall in libmdb ends
// only the reader; Kavel kills it at its time limit and takes the database for unreadable.
//
// Invocation (standard error goes to /dev/null; libmdb prints its warnings there):
//   kavel-mdb-reader check <path>        is the catalog whole? (every table's pages in the file)
//   kavel-mdb-reader rows <path> <table> the same check, then the rows of
//                                        "select * from <table> order by num"
// Exit status 0 after a whole stream, 1 when the file fails the checks or the command is unknown.
// The reader checks the file itself before libmdb opens it, whatever its caller has checked.
//
// The row stream on standard output, written as the rows are read (the reader never holds the
// table: it walks the stored rows once for their num keys, and when they are stored in delivery
// order already, as they usually are, once more to write them; otherwise it sorts the keys with
// where each row lies and fetches the rows in that order):
//   "KMR2"   signature and format version
//   records, each one kind byte, the payload's length (4 bytes, little-endian), the payload:
//     'C'  the catalog is whole (empty payload); sent at once, before any row is read
//     'F'  (rows only) a field name, one record per column in table order
//     'R'  (rows only) the field names are complete and the rows follow (empty payload)
//     'V'  a value, already the text the reports print (UTF-8; NULLs as "" for text, "0" for
//          numbers and dates, "False" for Yes/No); row after row in delivery order (ascending
//          num: numerically for a numeric column, else as text ignoring ASCII case; stable;
//          NULLs first), each row's values in field order
//     'E'  the provider's message when the table cannot be read as asked (missing table, no num
//          column, damaged pages), before the field names or after any row; the stream ends
//          after it
//     'Z'  the end; the payload is the row count (8 bytes, little-endian)
//   `check` writes the signature, 'C' and an end record with count 0 when the catalog is whole;
//   both commands write only the signature when it is not.
// A stream without its end or error record is not whole: the reader crashed or was stopped.
#ifndef KAVEL_MDB_READER_H_
#define KAVEL_MDB_READER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kavel {

inline constexpr char kMdbReaderProgram[] = "kavel-mdb-reader";
inline constexpr char kMdbReaderCheck[] = "check";
inline constexpr char kMdbReaderRows[] = "rows";

inline constexpr std::string_view kRowStreamSignature = "KMR2";
inline constexpr char kRecordChecked = 'C';
inline constexpr char kRecordField = 'F';
inline constexpr char kRecordRowsFollow = 'R';
inline constexpr char kRecordValue = 'V';
inline constexpr char kRecordError = 'E';
inline constexpr char kRecordEnd = 'Z';
inline constexpr size_t kRecordHeadSize = 5;

// How a stream starts when the catalog is whole: the signature and an empty check record.
inline constexpr std::string_view kCheckedStreamHead{"KMR2C\0\0\0\0", 9};
static_assert(kCheckedStreamHead.substr(0, 4) == kRowStreamSignature &&
              kCheckedStreamHead[4] == kRecordChecked &&
              kCheckedStreamHead.size() == kRowStreamSignature.size() + kRecordHeadSize);

// Where the reader writes its stream.
class RowStreamOutput {
 public:
  virtual ~RowStreamOutput() = default;
  virtual void Write(std::string_view bytes) = 0;
  // Hands on what was written so far: the reader's caller waits for it.
  virtual void Flush() {}
};

// The reader's work, as its main runs it: `args` are the command line after the program name.
// Writes the stream to `output`; returns false (exit status 1) when the file fails the checks,
// the catalog is not whole, or the arguments are not a command. Only for a process of its own:
// libmdb may crash or never return on a damaged file.
bool RunMdbReader(const std::vector<std::string>& args, RowStreamOutput& output);

}  // namespace kavel

#endif  // KAVEL_MDB_READER_H_
