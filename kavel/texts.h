// Every user-visible text and every fixed name or number of Kavel, in one place so that a
// reviewer checks them all at once. Texts are UTF-8; the logs and user.ini turn them into CP932.
#ifndef KAVEL_TEXTS_H_
#define KAVEL_TEXTS_H_

#include <cstddef>

namespace kavel {

// --- Main window ----------------------------------------------------------------------------
inline constexpr char kMainCaption[] = "PDF";
inline constexpr int kMainClientWidth = 404;   // px
inline constexpr int kMainClientHeight = 326;  // px
inline constexpr char kMainFontFamily[] = "Tahoma";
inline constexpr int kMainFontPoints = 8;
inline constexpr char kButton1Name[] = "Button1";
inline constexpr char kButton1Caption[] = "作成";
inline constexpr int kButton1Width = 75;   // px
inline constexpr int kButton1Height = 25;  // px

// --- Message boxes ----------------------------------------------------------------------------
inline constexpr char kFatalBoxCaption[] = "Kavel";  // a run that could not write Pdf.log/user.ini

// The module with the windows, loaded only when there is a display. It is installed beside the
// real program file, wherever the links that start the program lie.
inline constexpr char kWindowModuleFile[] = "kavel_window.so";

// --- Database paths from a Windows caller under Wine --------------------------------------------
inline constexpr char kWineDefaultPrefix[] = ".wine";     // in the home folder, without WINEPREFIX
inline constexpr char kWineDriveFolder[] = "dosdevices";  // holds "c:" -> ../drive_c and the like

// --- Display servers (tried before Qt is loaded) ------------------------------------------------
inline constexpr char kQtWaylandPlugin[] = "libqwayland-generic.so";
inline constexpr char kQtWaylandEglPlugin[] = "libqwayland-egl.so";
inline constexpr char kQtX11Plugin[] = "libqxcb.so";

// --- Standard error (runs without a display, and what a run with windows shows no box for) ----
// Every line ConsoleUi writes, and the continuation lines of a text that runs over several.
inline constexpr char kConsoleLine[] = "Kavel: %s";
inline constexpr char kConsoleContinuedLine[] = "Kavel:   %s";
// The engine's error box as one line: its caption, then its text.
inline constexpr char kConsoleErrorBox[] = "Kavel: %s: %s";
inline constexpr char kNoDisplayForPreview[] =
    "プレビューを表示できません: 画面に接続できません (DISPLAY / WAYLAND_DISPLAY)";
inline constexpr char kRunStopped[] = "処理を中止しました: %s";  // the failure's text
inline constexpr char kUnexpectedExportError[] = "PDFを作成できませんでした: %s";  // its text
inline constexpr char kNoWindowModule[] =
    "画面用モジュールを読み込めないため画面なしで続けます: %s";  // the loader's text
inline constexpr char kUnknownError[] = "不明なエラー";

// --- Activity log -----------------------------------------------------------------------------
inline constexpr char kLogFileName[] = "Pdf.log";
inline constexpr char kLogCaption[] = "年月:%s";   // the caption (first argument)
inline constexpr char kLogPdfName[] = "pdf名:%s";  // full path of the PDF to be written

// --- user.ini flags, in section common::texts::kSectionParam -----------------------------------
inline constexpr char kFlagValue[] = "1";
inline constexpr char kFlagPdf[] = "PDF";    // kind "1"
inline constexpr char kFlagPdf2[] = "PDF2";  // kind "3"
inline constexpr char kFlagPdf3[] = "PDF3";  // kind "5"
inline constexpr char kFlagPdf4[] = "PDF4";  // kinds "7" and "8"
inline constexpr char kFlagPdf6[] = "PDF6";  // kind "9"
inline constexpr char kFlagPdf8[] = "PDF8";  // kind "10"

// --- Output files (in the program folder) ------------------------------------------------------
inline constexpr char kFileRepChk[] = "RepChk.pdf";          // kind "1"
inline constexpr char kFileRepChk2[] = "RepChk2.pdf";        // kind "3"
inline constexpr char kFileRep[] = "Rep.pdf";                // kind "5"
inline constexpr char kFileRepChkList[] = "RepChkList.pdf";  // kind "7"
inline constexpr char kFileRepChkList2[] = "RepChkList2.pdf";  // kind "8"
inline constexpr char kFileRepChkList3[] = "RepChkList3.pdf";  // kind "9"
inline constexpr char kFileRepJyoken[] = "RepJyoken.pdf";    // kind "10"

// --- Run parameters -----------------------------------------------------------------------------
inline constexpr int kArgumentCount = 4;      // caption, database path, kind, variant; more ignored
inline constexpr char kShortVariant[] = "1";  // fourth argument: kind "5" prints Report7

// --- Templates and the objects the run touches -------------------------------------------------
inline constexpr char kReport1[] = "Report1";
inline constexpr char kReport2[] = "Report2";
inline constexpr char kReport3[] = "Report3";
inline constexpr char kReport4[] = "Report4";
inline constexpr char kReport6[] = "Report6";
inline constexpr char kReport7[] = "Report7";
inline constexpr char kReport8[] = "Report8";
inline constexpr char kTitleObject[] = "Memo1";
// What Memo1 of Report1, 2, 3 and 7 holds until a run puts its caption there.
inline constexpr char kSampleCaption[] = "平成２７年１０月社保";

// --- Fixed texts printed by the templates --------------------------------------------------------
inline constexpr char kTitleJyoken[] = "レセプト抽出条件リスト";      // Report8 Memo1
inline constexpr char kHeadingCondition[] = "条件内容";             // Report8 Memo2
inline constexpr char kHeadingTarget[] = "対象/非対象";             // Report8 Memo3
inline constexpr char kHeadingChartNumber[] = "カルテ番号";         // Report3/7 Memo2
inline constexpr char kHeadingPatientName[] = "患者氏名";           // Memo3
inline constexpr char kHeadingRequirement[] = "条件";               // Memo4
inline constexpr char kHeadingRe[] = "再";                          // Memo6
inline constexpr char kHeadingToku[] = "特";                        // Memo5
inline constexpr char kHeadingDiseaseName[] = "傷病（薬品）名";     // Memo7
inline constexpr char kHeadingStartDate[] = "診療(処方)開始日";     // Memo9
inline constexpr char kHeadingOutcome[] = "転帰";                   // Memo8
inline constexpr char kHeadingOutcomeDate[] = "転帰日";             // Memo10
inline constexpr char kHeadingTreatment[] = "項番・区分・診療行為名称等";  // Report6 Memo1
inline constexpr char kHeadingReceiptText[] = "レセプト表示文言";   // Report6 Memo2
inline constexpr char kSysDate[] = "[DATE]";
inline constexpr char kSysTime[] = "[TIME]";
inline constexpr char kSysPage[] = "[PAGE#]";

// Chart-number rule: a Line1 value of this many characters or more prints smaller.
inline constexpr int kChartNumberLongLength = 8;
inline constexpr int kChartNumberPoints = 10;       // shorter values
inline constexpr int kChartNumberLongPoints = 7;    // long values

// Font faces the templates name (the program maps them to installed faces of the same kind).
inline constexpr char kFontPGothic[] = "ＭＳ Ｐゴシック";
inline constexpr char kFontGothic[] = "ＭＳ ゴシック";
inline constexpr char kFontPMincho[] = "ＭＳ Ｐ明朝";
inline constexpr char kFontMincho[] = "ＭＳ 明朝";
inline constexpr char kFontArial[] = "Arial";

}  // namespace kavel

#endif  // KAVEL_TEXTS_H_
