// What the installer shows, as the user reads it. Written out here rather
// than taken from the program's own tables, so that a wrong byte there shows.
#pragma once

namespace brisko::e2e::shown {

inline constexpr wchar_t kAppTitle[] = L"briskoPatch";
inline constexpr wchar_t kDefaultCaption[] = L"FormMain";
inline constexpr wchar_t kNoCheckTargetSection[] = L"初期化に失敗しました\n\"CheckTargetFilename\"セクションが見つかりません";
inline constexpr wchar_t kNoOutFilesSection[] = L"初期化に失敗しました\n\"OutFiles\"セクションが見つかりません";
inline constexpr wchar_t kNoLinkPathSection[] = L"初期化に失敗しました\n\"LinkPath\"セクションが見つかりません";
inline constexpr wchar_t kTargetNotFound[] =
    L"プログラムメニュー内に対象ソフトが見つかりません\n対象ソフトがインストールされていない可能性があります";
inline constexpr wchar_t kBackgroundMissing[] = L"RESOURCE_BACKGROUND リソースが見つかりません.";
inline constexpr wchar_t kScriptMissing[] = L"RESOURCE_SCRIPT リソースが見つかりません.";
inline constexpr wchar_t kBadBitmap[] = L"ビットマップイメージが不正です.";
inline constexpr wchar_t kPatchSucceeded[] = L"修正処理が正常に終了しました";
inline constexpr wchar_t kPatchFailed[] = L"修正に失敗しました";
inline constexpr wchar_t kVersionMismatch[] = L"インストールされているバージョンがこの修正に対応していません";
inline constexpr wchar_t kStart[] = L"修正開始(&S)";
inline constexpr wchar_t kCancel[] = L"中止(&C)";
inline constexpr wchar_t kClose[] = L"終了(&X)";
inline constexpr wchar_t kLabelTargetDir[] = L"修正対象ディレクトリ";
inline constexpr wchar_t kLabelHint[] = L"↑このパスが自動検索されましたが、間違っている場合は";
inline constexpr wchar_t kLabelChangePath[] = L"ここ";
inline constexpr wchar_t kLabelHintEnd[] = L"を押して変更してください";
// The face of the window's font.
inline constexpr wchar_t kFontName[] = L"ＭＳ Ｐゴシック";
// The folder chooser's prompt after the quoted game title.
inline constexpr wchar_t kChooserPromptTail[] = L"がインストールされているディレクトリを指定してください";

}  // namespace brisko::e2e::shown
