// Every text, font and fixed number of the updater's two windows (the main window TfrmMain and
// the confirmation dialog TfrmCfmDsp), in one place. Texts are UTF-8. Positions and sizes are
// pixels at 96 dpi: left, top, width, height of the client areas and controls.
#ifndef TOLVAN_UI_TEXTS_H_
#define TOLVAN_UI_TEXTS_H_

namespace tolvan::ui_texts {

struct Box {
  int left, top, width, height;
};

// ---- Fonts -------------------------------------------------------------------------------------
// The windows are designed for Tahoma; where it is missing, IPAPGothic stands in for it (it also
// carries the Japanese characters that Tahoma borrows from the system's Japanese font).
inline constexpr char kBaseFontFamily[] = "Tahoma";
inline constexpr char kFallbackFontFamily[] = "IPAPGothic";
// Tahoma 8 pt: an 11-pixel character height.
inline constexpr int kBaseFontPixels = 11;
// The design's Japanese face is narrower than the faces that stand in for it here, so a text
// too wide for its fixed box is drawn narrowed, down to this width in percent, to fit it.
inline constexpr int kMinTextStretch = 70;

// ---- Main window TfrmMain ----------------------------------------------------------------------
inline constexpr char kMainTitle[] = "マスター更新";
inline constexpr int kMainClientWidth = 325;
inline constexpr int kMainDesignClientHeight = 161;
// IniSet sets the window's outer height to 130 pixels, which cuts off the bottom of the design
// area (Button2). The frame is drawn by the window manager and only known once mapped, so the
// client height is reckoned with the Windows frame the window was designed with (caption and
// borders at 96 dpi).
inline constexpr int kMainOuterHeight = 130;
inline constexpr int kMainNominalFrameHeight = 39;
inline constexpr int kMainClientHeight = kMainOuterHeight - kMainNominalFrameHeight;

inline constexpr Box kLabel2Box = {42, 17, 244, 23};
inline constexpr char kLabel2DesignText[] = "マスター更新中";
inline constexpr int kLabel2FontPixels = 19;
inline constexpr char kLabel2Color[] = "#ff0000";

// Sized to its text.
inline constexpr Box kLabel3Box = {255, 0, 0, 0};
inline constexpr char kLabel3Text[] = "build:2.0.0.2";

inline constexpr Box kProgressBar1Box = {42, 46, 244, 36};
// A Windows push button's default size.
inline constexpr Box kButton2Box = {16, 128, 75, 25};
inline constexpr char kButton2Text[] = "自動更新";
inline constexpr Box kButton1Box = {124, 45, 75, 25};
inline constexpr char kButton1Text[] = "終了";

// ---- Message boxes -----------------------------------------------------------------------------
// Captions of the message boxes by icon, as the Japanese desktop words them, and of the
// top-level error report (the program's title).
inline constexpr char kCaptionInformation[] = "情報";
inline constexpr char kCaptionWarning[] = "警告";
inline constexpr char kCaptionError[] = "エラー";
inline constexpr char kErrorReportCaption[] = "Tolvan";
inline constexpr char kOkButton[] = "OK";

// ---- Confirmation dialog TfrmCfmDsp ------------------------------------------------------------
inline constexpr char kCfmTitle[] = "マスター更新の確認";
inline constexpr int kCfmClientWidth = 438;
inline constexpr int kCfmClientHeight = 290;

inline constexpr Box kCfmLabel1Box = {72, 24, 293, 19};
inline constexpr int kCfmLabel1FontPixels = 16;
inline constexpr Box kCfmLabel2Box = {25, 75, 380, 18};
inline constexpr int kCfmLabel2FontPixels = 15;
inline constexpr Box kCfmGroupBox1Box = {92, 99, 261, 56};
inline constexpr Box kCfmRadioButton1Box = {20, 5, 237, 17};   // inside GroupBox1
inline constexpr Box kCfmRadioButton2Box = {20, 29, 238, 17};  // inside GroupBox1
inline constexpr Box kCfmLabel5Box = {25, 183, 173, 18};
inline constexpr Box kCfmLabel6Box = {204, 183, 33, 18};
inline constexpr int kCfmLabel56FontPixels = 15;
inline constexpr Box kCfmButton2Box = {241, 181, 164, 25};
inline constexpr Box kCfmButton1Box = {186, 242, 75, 33};

// Design texts.
inline constexpr char kCfmLabel1Design[] = "プログラム更新とマスター更新のお知らせです";
inline constexpr char kCfmLabel2Design[] = "今回はプログラム更新とマスター更新があり、選択できます。";
inline constexpr char kCfmRadio1Design[] = "バージョンアップを実施する（マスター更新含む）";
inline constexpr char kCfmRadio2Design[] = "マスター更新のみ実施する";
inline constexpr char kCfmLabel5Text[] = "詳しくはこちらをご参照ください";
inline constexpr char kCfmLabel6Text[] = "==>";
inline constexpr char kCfmButton1Text[] = "OK";
inline constexpr char kCfmButton2Text[] = "ベルタンQXサイトへ";

// Texts per situation: both updates offered, the program update only, the master update only.
inline constexpr char kCfmBothLabel1[] = "プログラム更新とマスター更新のお知らせです";
inline constexpr char kCfmBothLabel2[] = "プログラム更新とマスター更新のどちらかを選択できます";
inline constexpr char kCfmBothRadio1[] = "プログラム更新とマスター更新を実施する";
inline constexpr char kCfmBothRadio2[] = "マスター更新のみ実施する";
inline constexpr char kCfmProgramLabel1[] = "プログラム更新のお知らせです";
inline constexpr char kCfmProgramLabel2[] = "今回はプログラム更新のみです";
inline constexpr char kCfmProgramRadio1[] = "プログラム更新を実施する";
inline constexpr char kCfmProgramRadio2[] = "プログラム更新を実施しない";
inline constexpr char kCfmMasterLabel1[] = "マスター更新のお知らせです";
inline constexpr char kCfmMasterLabel2[] = "今回はマスター更新のみです";
inline constexpr char kCfmMasterRadio1[] = "マスター更新を実施する";
inline constexpr char kCfmMasterRadio2[] = "";

// The product's web site that Button2 opens. The host is a placeholder under a reserved name
// until the real address is known, like the update server's.
inline constexpr char kProductSiteUrl[] = "https://www.norvik-qx.example/";

}  // namespace tolvan::ui_texts

#endif  // TOLVAN_UI_TEXTS_H_
