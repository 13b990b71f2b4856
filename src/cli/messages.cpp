#include "cli/messages.h"

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "core/io/atomic_write.h"

namespace pq::cli {

namespace {

int g_language = -1;   // -1 not read yet, 0 English, 1 Japanese

// The editor's sentences that reach pqtool's output, with their English. Longer sentences come
// before the shorter ones they contain.
constexpr std::pair<std::string_view, std::string_view> kEditorSentences[] = {
    {"」を読み込めませんでした。", "' could not be read."},
    {"」に書き込めませんでした。", "' could not be written."},
    {"」を開けませんでした。", "' could not be opened."},
    {"このアイコンは画像が多すぎるため、すべては開けません。一度に開けるのは1024枚までです。",
     "This icon holds too many images to open them all: at most 1024 open at once."},
    {"このアイコンは画像が大きすぎるため、すべては開けません。一度に開けるのは合わせて67,108,864ピクセルまでです。",
     "This icon's images are too large to open them all: at most 67,108,864 pixels in all open at once."},
    {"このアイコンは画像のデータが大きすぎるため、すべては開けません。一度に開けるのは合わせて128MBまでです。",
     "This icon's image data is too large to open it all: at most 128 MB in all open at once."},
    {"アイコンとカーソルに保存できるのは幅と高さが256ピクセルまでの画像です。",
     "Icons and cursors hold images of at most 256 pixels a side."},
    {"ファイルの内容が開いたときから変わっています。", "The file has changed since it was opened."},
    {"ファイルが見つかりません。", "The file does not exist."},
    {"ファイルの内容が壊れています。", "The file's content is damaged."},
    {"ファイルを読み込めません。", "The file cannot be read."},
    {"ファイルを開けません。", "The file cannot be opened."},
    {"ファイルが大きすぎます。", "The file is too large."},
    {"このアイコンは開けません。", "This icon cannot be opened."},
    {"この形式のビットマップには対応していません。", "This kind of bitmap is not supported."},
    {"ビットマップ画像が正しくありません。", "The bitmap is not valid."},
    {"JPEG画像が正しくありません。", "The JPEG picture is not valid."},
    {"PNG画像が正しくありません。", "The PNG picture is not valid."},
    {"PNG画像を作れませんでした。", "The PNG picture could not be made."},
    {"画像が大きすぎます。", "The picture is too large."},
    {"パレットファイルの内容が正しくありません。", "The palette file is not valid."},
    {"アイコンが含まれていません", "It holds no icons"},
    {" 番目の画像はアイコンにできません。", ": this image cannot become an icon image."},
    {"ディスクの空き容量が足りません。", "There is not enough free space on the disk."},
    {"保存先のフォルダがありません。", "The folder does not exist."},
    {"保存先に書き込む権限がありません。", "There is no permission to write there."},
    {"読み取り専用のファイルシステムのため書き込めません。", "The file system is read-only."},
    {"同じ名前のフォルダがあるため書き込めません。", "A folder of that name is in the way."},
    {"ディスクの読み書きに失敗しました。", "The disk failed to read or write."},
    {"ファイル名が長すぎます。", "The file name is too long."},
    {"シンボリックリンクが多すぎます。", "There are too many symbolic links."},
    {"通常のファイルではないため書き込めません。", "It is not a regular file."},
    {"書き込みに失敗しました（エラー番号 ", "Writing failed (error "},
    {"開けませんでした。", "could not be opened."},
    {"）。", ")."},
    {"「", "'"},
    {"」", "'"},
};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

bool StartsWithJa(const char* value) { return value && value[0] == 'j' && value[1] == 'a'; }

}  // namespace

bool Japanese() {
    if (g_language < 0) {
        const char* chosen = nullptr;
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(name);
            if (v && *v) {
                chosen = v;
                break;
            }
        }
        g_language = StartsWithJa(chosen) ? 1 : 0;
    }
    return g_language == 1;
}

void ResetLanguage() { g_language = -1; }

std::string Say(std::string_view english, std::string_view japanese) {
    return std::string(Japanese() ? japanese : english);
}

std::string EditorMessage(const std::string& japanese) {
    if (Japanese()) return japanese;
    std::string text = japanese;
    for (const auto& [ja, en] : kEditorSentences) ReplaceAll(text, ja, en);
    return text;
}

std::string SystemError(int err) {
    if (Japanese()) {
        switch (err) {
        case ENOENT: return "ファイルまたはフォルダがありません。";
        case EISDIR: return "フォルダです。";
        case ENOTDIR: return "途中にフォルダでないものがあります。";
        case EACCES:
        case EPERM: return "権限がありません。";
        default: return JapaneseErrorText(err);
        }
    }
    switch (err) {
    case ENOSPC: return "no space left on the disk";
#ifdef EDQUOT
    case EDQUOT: return "the disk quota is used up";
#endif
    case EFBIG: return "the file is too large";
    case ENOENT: return "no such file or folder";
    case ENOTDIR: return "a part of the path is not a folder";
    case EACCES:
    case EPERM: return "permission denied";
    case EROFS: return "the file system is read-only";
    case EISDIR: return "it is a folder";
    case EIO: return "input/output error";
    case ENAMETOOLONG: return "the file name is too long";
    case ELOOP: return "too many symbolic links";
    case EEXIST: return "it already exists";
    default: return "error " + std::to_string(err);
    }
}

}  // namespace pq::cli
