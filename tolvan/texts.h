// Every user-visible text, log text and fixed number of the updater, in one place. Texts are
// UTF-8; the logs and the update list are converted to and from CP932 at the file boundary.
#ifndef TOLVAN_TEXTS_H_
#define TOLVAN_TEXTS_H_

#include <cstdint>

namespace tolvan::texts {

// ---- Server ----------------------------------------------------------------------------------
// The built-in base URL of the update server; [PARAM] NVKMST replaces it when not empty. The
// host is a placeholder under a reserved name until the real server name is known, so that no
// stranger can ever answer for it.
inline constexpr char kBuiltInBaseUrl[] = "https://update.norvik-qx.example/data/QX/";

// The only scheme the updater fetches from (compared without regard to letter case).
inline constexpr char kHttpsScheme[] = "https://";

// Request headers sent with every request.
inline constexpr char kAcceptHeader[] =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8";
inline constexpr char kUserAgent[] = "Mozilla/3.0 (compatible; Indy Library)";

// ---- Files and folders (relative to the program folder) ---------------------------------------
// The log folder, the download folder, Norvik.exe and the backup's "PGM" folder are the
// common library's (common/texts.h).
inline constexpr char kLogFileName[] = "/Update.log";
inline constexpr char kUListName[] = "UList";
inline constexpr char kMasterDbName[] = "MST.FDB";
inline constexpr char kSetupName[] = "Setup.exe";

// ---- user.ini sections, keys and values --------------------------------------------------------
// [PARAM] and its BACKUP key are the common library's (common/texts.h).
inline constexpr char kSecExpand[] = "EXPAND";
inline constexpr char kKeyStaus[] = "STAUS";
inline constexpr char kValStart[] = "START";
inline constexpr char kKeyNvkmst[] = "NVKMST";
inline constexpr char kKeyDisk[] = "DISK";
inline constexpr char kDefDisk[] = "150";
inline constexpr int32_t kDefDiskMb = 150;
inline constexpr char kKeyNoupd[] = "NOUPD";
inline constexpr char kKeyDbversion[] = "DBVERSION";
inline constexpr char kSecUpd[] = "UPD";
inline constexpr char kKeyDownload[] = "Download";
inline constexpr char kKeyTime[] = "TIME";
inline constexpr char kSecUpdate[] = "UPDATE";
inline constexpr char kKeyNosetup[] = "NOSETUP";
inline constexpr char kSecCall[] = "CALL";
inline constexpr char kKeyStatus[] = "STATUS";
inline constexpr char kValOne[] = "1";
inline constexpr char kValNine[] = "9";

// ---- Fixed numbers -----------------------------------------------------------------------------
// A local Setup.exe counts as current only when larger than this many bytes.
inline constexpr int64_t kMinCurrentSetupSize = 78000000;
// The probe's status when no HTTP answer arrived.
inline constexpr int32_t kNoAnswerStatus = 999;
// The Last-Modified time stored when the server sends none: the zero date-time.
inline constexpr char kZeroDateTime[] = "189912300000";
// The backup that precedes a program copy.
inline constexpr char kBackupCaption[] = "マスター更新前";
inline constexpr int32_t kBackupKind = 1;

// ---- Status line (Label2) ----------------------------------------------------------------------
inline constexpr char kStatusListMissing[] = "更新用ファイルが見つかりません";
inline constexpr char kStatusNoConnection[] = "インターネットに接続されていません";
inline constexpr char kStatusNoNewUpdate[] = "新しい更新はありません";
inline constexpr char kStatusChecking[] = "更新ファイルチェック中です";
inline constexpr char kStatusDownloadStart[] = "ダウンロード開始";
inline constexpr char kStatusDownloadEnd[] = "ダウンロード終了";
// The bytes still to come ("%s"); the blank after "残り" is an ideographic space.
inline constexpr char kStatusRemaining[] = "残り　%s バイト";
inline constexpr char kStatusUpdating[] = "      マスター更新中     ";
inline constexpr char kStatusUpdateDone[] = "更新終了";
inline constexpr char kStatusMasterDone[] = "マスター更新終了";

// ---- Message boxes -----------------------------------------------------------------------------
// Texts of several lines break them with lone carriage returns.
inline constexpr char kLineBreak[] = "\r";
// The disk-space warning: the megabytes needed, then the megabytes free.
inline constexpr char kMsgDiskShort[] =
    "容量不足のため更新できません\r"
    "%sMB以上の空き容量が必要です\r"
    "空き容量：%sMB\r"
    "空き容量を増やした後、再度マスター更新を行ってください";
inline constexpr char kMsgNotFound[] = "指定したページまたはファイルが見つかりませんでした．";
inline constexpr char kMsgServerError[] = "サーバーエラー。少し時間が経ってから再度行ってください。";
inline constexpr char kMsgNoConnection[] = "インターネットに接続されていません";
inline constexpr char kMsgMainAppStartFailed[] = "ベルタンQX インストール版が起動できません";
inline constexpr char kMsgSetupStartFailed[] = "マスター更新用インストーラがありません";
// A downloaded file could not be copied over the installed one: the file's name, then the
// reason.
inline constexpr char kMsgCopyFailed[] =
    "更新ファイルをインストールできませんでした\r"
    "%s：%s\r"
    "更新前のファイルのまま起動します\r"
    "空き容量と書き込み権限を確認した後、再度マスター更新を行ってください";

// ---- Log texts ---------------------------------------------------------------------------------
// The download folder ("%s") was made.
inline constexpr char kLogCreated[] = "%s作成";
// The list is not on the server ("%s" is the download folder).
inline constexpr char kLogNoListFile[] = "%s更新用ファイルなし";
inline constexpr char kLogUListDownloaded[] = "UListダウンロード";
inline constexpr char kLogNoNewUpdate[] = "新しい更新なし";
// The probed address ("%s") answered 404.
inline constexpr char kLogNotFound[] = "指定した%sが見つかりませんでした";
// The TIME stored by the last run, and the list's time on the server.
inline constexpr char kLogLastUListTime[] = "最終UList更新日時：%s";
inline constexpr char kLogServerUListTime[] = "サーバーUList更新日時：%s";
// The downloaded list ("%s" is its path) is missing.
inline constexpr char kLogListAbsent[] = "%sなし";
inline constexpr char kLogListCheckStart[] = "UListチェック開始";
inline constexpr char kLogListCheckEnd[] = "UListチェック終了";
// One comparison of the list check: the name, the listed version, the installed version.
inline constexpr char kLogVersions[] = "%s 最新バージョン=%s ローカルバージョン=%s";
// A download ("%s" is its address) is complete.
inline constexpr char kLogDownloadEnd[] = "%sダウンロード終了";
inline constexpr char kLogSetupMissing[] = "Setup.exeないためダウンロード";
inline constexpr char kLogSetupCurrent[] = "最新版Setup.exe有り";
// The local Setup.exe is not current: its size, its version and the listed version.
inline constexpr char kLogSetupOutdated[] =
    "Setup.exeが最新でないためダウンロード実施\r"
    "サイズ=%s ローカルのSetup.exeバージョン=%s 最新のSetup.exeバージョン=%s";
// A copy into the program folder failed: the target's path, then the reason.
inline constexpr char kLogCopyFailed[] = "%s をコピーできません：%s";
// After a failed second copy of choice 3, the first file ("%s") was put back, or not.
inline constexpr char kLogRestoredPrevious[] = "%sを更新前に戻しました";
inline constexpr char kLogRestoreFailed[] = "%sを更新前に戻せませんでした";
// At start: an update killed between its two copies was undone ("%s": the names).
inline constexpr char kLogInterruptedRestored[] = "中断した更新を元に戻しました：%s";
// [PARAM] NVKMST ("%s") is no https address: nothing is fetched from it.
inline constexpr char kLogNotHttps[] = "httpsでないため接続しません：%s";
// A connection state of the HTTP client ("%s" is one of the kState texts).
inline constexpr char kLogStatus[] = "ステータス=%s";
inline constexpr char kLogDisconnected[] = "切断されました";

// Connection states of the HTTP client ("%s" is the host name or the address).
inline constexpr char kStateResolving[] = "ホスト名 %s を解決しています。";
inline constexpr char kStateConnecting[] = "%s に接続しています。";
inline constexpr char kStateConnected[] = "接続しました。";
inline constexpr char kStateDisconnecting[] = "接続解除しています。";
inline constexpr char kStateDisconnected[] = "接続解除されました。";

// ---- Start-up, before any window -------------------------------------------------------------
// No display server answers, so no window can be shown: written to standard error, and the
// program ends with kExitNoDisplay ("%s" is DISPLAY as set, possibly empty).
inline constexpr char kErrNoDisplay[] =
    "Tolvan: 画面を表示できません。ディスプレイ「%s」に接続できません。";
inline constexpr int kExitNoDisplay = 1;

// ---- Error reports (the top-level error box) ---------------------------------------------------
// A request answered with a status outside 200-299 reports the answer's status line as the
// server sent it, e.g. "HTTP/1.1 404 Not Found".
// A download file that cannot be created or written: its path, then the reason.
inline constexpr char kErrCreateFile[] = "ファイル %s を作成できません。 %s";
inline constexpr char kErrWriteFile[] = "ファイル %s に書き込めません。 %s";
// The reason when the disk is full.
inline constexpr char kErrDiskFull[] = "ディスクの空き容量が不足しています。";
// No progress from the server for the configured time.
inline constexpr char kErrStalled[] = "サーバーからの応答がありません。";
// The connection could not be made within the configured time.
inline constexpr char kErrConnectTimeout[] = "サーバーに接続できません。";
// The connection failed or broke off ("%s" is the library's reason).
inline constexpr char kErrConnection[] = "通信エラー: %s";

}  // namespace tolvan::texts

#endif  // TOLVAN_TEXTS_H_
