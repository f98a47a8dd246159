// What the installer shows, as the user reads it. Written out here rather
// than taken from the program's own tables, so that a wrong byte there shows.
#pragma once

#include <string>

namespace brisko::e2e::shown {

inline constexpr wchar_t kAppTitle[] = L"briskoPatch";
inline constexpr wchar_t kDefaultCaption[] = L"FormMain";
inline constexpr wchar_t kNoCheckTargetSection[] =
    L"初期化に失敗しました\n\"CheckTargetFilename\"セクションが見つかりません";
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

// The messages of a patch applied as one transaction, which name the entry
// as the script lists it.
// Why the file stops the patch, and what to do, after 「name」.
inline constexpr wchar_t kInUse[] =
    L"が他のプログラムで使用されているため、修正できません\nゲームを終了してから、もう一度修正を実行してください";
inline constexpr wchar_t kReadOnly[] =
    L"が読み取り専用になっているため、修正できません\n読み取り専用の設定を解除してから、もう一度修正を実行してください";
inline constexpr wchar_t kRefused[] =
    L"に書き込めないため、修正できません\nファイルの属性とアクセス権を確認してから、もう一度修正を実行してください";
inline constexpr wchar_t kFolderMissing[] =
    L"を置くフォルダが見つからないため、修正できません\n修正対象ディレクトリが正しいか確認してください";
inline std::wstring Named(const std::wstring& name, const wchar_t* rest) { return L"「" + name + L"」" + rest; }
inline std::wstring InUse(const std::wstring& name) { return Named(name, kInUse); }
inline std::wstring ReadOnly(const std::wstring& name) { return Named(name, kReadOnly); }
inline std::wstring Refused(const std::wstring& name) { return Named(name, kRefused); }
inline std::wstring FolderMissing(const std::wstring& name) { return Named(name, kFolderMissing); }
inline std::wstring OtherVersion(const std::wstring& name) {
  return std::wstring(kVersionMismatch) + L"\n" + Named(name, L"がこの修正の対象のバージョンではありません");
}
inline std::wstring StagingFailed(const std::wstring& name) {
  return std::wstring(kPatchFailed) + L"\n" +
         Named(name, L"を書き込めませんでした（ゲームのファイルは変更されていません）");
}
inline constexpr wchar_t kCancelled[] = L"修正を中止しました\nゲームのファイルは変更されていません";

}  // namespace brisko::e2e::shown
