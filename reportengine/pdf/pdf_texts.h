// The PDF writer's fixed texts and numbers: error-box texts and the exporter's settings as the
// templates use them.
#ifndef REPORTENGINE_PDF_PDF_TEXTS_H_
#define REPORTENGINE_PDF_PDF_TEXTS_H_

#include <cstddef>

namespace re::pdf {

// Document information written by `PDFExport1`.
inline constexpr char kDefaultAuthor[] = "ベルタンZAVO";
inline constexpr char kDefaultSubject[] = "PDF export";

inline constexpr char kHeader[] = "%PDF-1.7\n%\xE2\xE3\xCF\xD3\n";

// Error-box texts; the path or the system's reason follows each.
inline constexpr char kErrNoFileName[] = "No output file name was given";
inline constexpr char kErrCannotCreate[] = "Cannot create file ";
inline constexpr char kErrReadOnly[] = "File is read-only: ";
inline constexpr char kErrNotAFile[] = "Cannot replace, not a file: ";
inline constexpr char kErrCannotWrite[] = "Cannot write file ";
inline constexpr char kErrCannotReplace[] = "Cannot replace file ";
inline constexpr char kErrFontFile[] = "Cannot read font file ";
inline constexpr char kErrFontSubset[] = "Cannot embed font ";
inline constexpr char kErrNotTrueType[] = ": it has no TrueType outlines";
inline constexpr char kErrIncomplete[] = "Document incomplete, not written: ";
inline constexpr char kErrBadFontIndex[] = "Text refers to a font the report does not list";
inline constexpr char kErrDiskFull[] = "No space left on device";

// Output buffering and the points per millimetre of the PDF user space.
inline constexpr size_t kWriteBufferBytes = 256 * 1024;
inline constexpr double kPointsPerMm = 72.0 / 25.4;
// Flate level: 1 deflates a list page in about 60 % of the time the default 6 takes, for some
// 15 % more bytes (7 % more than level 3): the writer's thread spends most of its time here.
inline constexpr int kDeflateLevel = 1;
// An 8 KB window and a 16K-entry hash: 96 KB of compressor state instead of zlib's default 256 KB,
// for under 1 % more bytes. A short run pays more for first touching that memory than for
// compressing with it.
inline constexpr int kDeflateWindowBits = 13;
inline constexpr int kDeflateMemLevel = 7;

}  // namespace re::pdf

#endif  // REPORTENGINE_PDF_PDF_TEXTS_H_
