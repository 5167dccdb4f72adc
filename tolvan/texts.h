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
inline constexpr char kLogFolder[] = "Log";
inline constexpr char kLogFileName[] = "/Update.log";
inline constexpr char kDownloadFolder[] = "DownLoad/";
inline constexpr char kUListName[] = "UList";
inline constexpr char kMasterDbName[] = "MST.FDB";
inline constexpr char kMainAppName[] = "Norvik.exe";
inline constexpr char kSetupName[] = "Setup.exe";
inline constexpr char kProgramBackupFolder[] = "PGM";  // inside a configured backup folder

// ---- user.ini sections, keys and values --------------------------------------------------------
inline constexpr char kSecExpand[] = "EXPAND";
inline constexpr char kKeyStaus[] = "STAUS";
inline constexpr char kValStart[] = "START";
inline constexpr char kSecParam[] = "PARAM";
inline constexpr char kKeyNvkmst[] = "NVKMST";
inline constexpr char kKeyDisk[] = "DISK";
inline constexpr char kDefDisk[] = "150";
inline constexpr int32_t kDefDiskMb = 150;
inline constexpr char kKeyNoupd[] = "NOUPD";
inline constexpr char kKeyDbversion[] = "DBVERSION";
inline constexpr char kKeyBackup[] = "BACKUP";
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
inline constexpr char kStatusRemainingPrefix[] = "残り　";  // ideographic space
inline constexpr char kStatusRemainingSuffix[] = " バイト";
inline constexpr char kStatusUpdating[] = "      マスター更新中     ";
inline constexpr char kStatusUpdateDone[] = "更新終了";
inline constexpr char kStatusMasterDone[] = "マスター更新終了";

// ---- Message boxes -----------------------------------------------------------------------------
// The disk-space warning, four lines joined by lone carriage returns.
inline constexpr char kDiskLine1[] = "容量不足のため更新できません";
inline constexpr char kDiskLine2Suffix[] = "MB以上の空き容量が必要です";
inline constexpr char kDiskLine3Prefix[] = "空き容量：";
inline constexpr char kDiskLine3Suffix[] = "MB";
inline constexpr char kDiskLine4[] = "空き容量を増やした後、再度マスター更新を行ってください";
inline constexpr char kLineBreak[] = "\r";
inline constexpr char kMsgNotFound[] = "指定したページまたはファイルが見つかりませんでした．";
inline constexpr char kMsgServerError[] = "サーバーエラー。少し時間が経ってから再度行ってください。";
inline constexpr char kMsgNoConnection[] = "インターネットに接続されていません";
inline constexpr char kMsgMainAppStartFailed[] = "ベルタンQX インストール版が起動できません";
inline constexpr char kMsgSetupStartFailed[] = "マスター更新用インストーラがありません";
// A downloaded file could not be copied over the installed one: four lines joined by lone
// carriage returns; the second is the file's name, kMsgCopyFailedReason and the reason.
inline constexpr char kMsgCopyFailedLine1[] = "更新ファイルをインストールできませんでした";
inline constexpr char kMsgCopyFailedReason[] = "：";
inline constexpr char kMsgCopyFailedLine3[] = "更新前のファイルのまま起動します";
inline constexpr char kMsgCopyFailedLine4[] =
    "空き容量と書き込み権限を確認した後、再度マスター更新を行ってください";

// ---- Log texts ---------------------------------------------------------------------------------
inline constexpr char kLogCreated[] = "作成";
inline constexpr char kLogNoListFile[] = "更新用ファイルなし";
inline constexpr char kLogUListDownloaded[] = "UListダウンロード";
inline constexpr char kLogNoNewUpdate[] = "新しい更新なし";
inline constexpr char kLogNotFoundPrefix[] = "指定した";
inline constexpr char kLogNotFoundSuffix[] = "が見つかりませんでした";
inline constexpr char kLogLastUListTime[] = "最終UList更新日時：";
inline constexpr char kLogServerUListTime[] = "サーバーUList更新日時：";
inline constexpr char kLogListAbsent[] = "なし";
inline constexpr char kLogListCheckStart[] = "UListチェック開始";
inline constexpr char kLogListCheckEnd[] = "UListチェック終了";
inline constexpr char kLogLatestVersion[] = " 最新バージョン=";
inline constexpr char kLogLocalVersion[] = "ローカルバージョン=";
inline constexpr char kLogDownloadEnd[] = "ダウンロード終了";
inline constexpr char kLogSetupMissing[] = "Setup.exeないためダウンロード";
inline constexpr char kLogSetupCurrent[] = "最新版Setup.exe有り";
inline constexpr char kLogSetupOutdated[] = "Setup.exeが最新でないためダウンロード実施";
inline constexpr char kLogSetupSize[] = "サイズ=";
inline constexpr char kLogSetupLocalVersion[] = "ローカルのSetup.exeバージョン=";
inline constexpr char kLogSetupLatestVersion[] = "最新のSetup.exeバージョン=";
// A copy into the program folder failed: the target's path, this text, the reason.
inline constexpr char kLogCopyFailed[] = " をコピーできません：";
// After a failed second copy of choice 3, the first file was put back ("MST.FDB" first).
inline constexpr char kLogRestoredPrevious[] = "を更新前に戻しました";
inline constexpr char kLogRestoreFailed[] = "を更新前に戻せませんでした";
// At start: an update killed between its two copies was undone (the names follow).
inline constexpr char kLogInterruptedRestored[] = "中断した更新を元に戻しました：";
// [PARAM] NVKMST is no https address: nothing is fetched from it (the address follows).
inline constexpr char kLogNotHttps[] = "httpsでないため接続しません：";
inline constexpr char kLogStatusPrefix[] = "ステータス=";
inline constexpr char kLogDisconnected[] = "切断されました";

// Connection states of the HTTP client, logged after kLogStatusPrefix ("%s" is the host name
// or the address).
inline constexpr char kStateResolving[] = "ホスト名 %s を解決しています。";
inline constexpr char kStateConnecting[] = "%s に接続しています。";
inline constexpr char kStateConnected[] = "接続しました。";
inline constexpr char kStateDisconnecting[] = "接続解除しています。";
inline constexpr char kStateDisconnected[] = "接続解除されました。";

// ---- Error reports (the top-level error box) ---------------------------------------------------
// A request answered with a status outside 200-299: the answer's status line, e.g.
// "HTTP/1.1 404 Not Found"; when the server sent none, this prefix and the status.
inline constexpr char kErrHttpStatusPrefix[] = "HTTP/1.1 ";
// A download file that cannot be created or written ("%s" is its path, then the reason).
inline constexpr char kErrCreateFile[] = "ファイル %s を作成できません。";
inline constexpr char kErrWriteFile[] = "ファイル %s に書き込めません。";
inline constexpr char kErrDiskFull[] = "ディスクの空き容量が不足しています。";
// No progress from the server for the configured time.
inline constexpr char kErrStalled[] = "サーバーからの応答がありません。";
// The connection could not be made within the configured time.
inline constexpr char kErrConnectTimeout[] = "サーバーに接続できません。";
// The connection failed or broke off ("%s" is the library's reason).
inline constexpr char kErrConnection[] = "通信エラー: %s";

}  // namespace tolvan::texts

#endif  // TOLVAN_TEXTS_H_
