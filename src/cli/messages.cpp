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
    // Animated cursors, Xcursor files and cursor themes (core/formats): the fixed parts of their
    // reasons, which name chunks, offsets and counts between them.
    {"このアニメーションカーソルは開けません。", "This animated cursor cannot be opened."},
    {"このアニメーションは書き込めません。", "This animation cannot be written."},
    {"このアニメーションは画像が大きすぎるため開けません。一度に開けるのは合わせて16,777,216ピクセルまでです。",
     "This animation's images are too large to open: at most 16,777,216 pixels in all open at once."},
    {"このXcursorファイルは開けません。", "This Xcursor file cannot be opened."},
    {"カーソルテーマを書き込めませんでした。", "The cursor theme could not be written."},
    {"RIFF ACON の見出しがありません。", "there is no RIFF ACON header."},
    {"宣言された大きさがファイルの大きさ ", "its declared size exceeds the file's size of "},
    {" を越えています。", "."},
    {"'（位置 ", "' (at "},
    {"、大きさ ", ", size "},
    {"チャンク '", "chunk '"},
    {"：チャンクの見出しが途中で切れています。", ": a chunk header is cut off."},
    {"親チャンクの終わりを越えています。", "runs past the end of its parent."},
    {"奇数の大きさの後の埋め草バイトがありません。", "the padding byte after its odd size is missing."},
    {"二つ目があります。", "appears a second time."},
    {"リストの種類がありません。", "the list has no type."},
    {"LIST の中に LIST があります。", "a LIST inside a LIST."},
    {"anih チャンクがありません。", "there is no anih chunk."},
    {"短すぎます。", "too short."},
    {"anih：フレームがアイコンやカーソルではありません。", "anih: the frames are not icons or cursors."},
    {"anih のフレーム数 ", "anih frame count "},
    {"anih のステップ数 ", "anih step count "},
    {"：一度に開けるのは1024枚までです。", ": at most 1024 open at once."},
    {"：一度に開けるのは16384ステップまでです。", ": at most 16384 steps open at once."},
    {"：icon チャンクは ", ": there are only "},
    {" 個だけです。", " icon chunks."},
    {"：seq がないのにフレームの数を越えています（フレームは ", ": more than the frames without a seq (frames: "},
    {" はありません（フレームは ", " does not exist (frames: "},
    {" 個）。", ")."},
    {" に足りません。", " steps."},
    {"ステップ数 ", "too short for "},
    {"seq のステップ ", "seq step "},
    {"：表示時間 ", ": display time "},
    {" が長すぎます。", " is too long."},
    {"ステップの数と表示時間の数が合いません。", "the steps and their times do not match in number."},
    {" が存在しないフレーム ", " names a missing frame "},
    {" を指しています。", "."},
    {" の表示時間が負です。", ": its display time is negative."},
    {" の公称サイズの数が画像の数と違います。", ": the nominal sizes do not match the images."},
    {" に画像がありません。", " holds no image."},
    {"：フレームがありません。", ": there are no frames."},
    {"フレームがありません。", "there are no frames."},
    {"先頭が \"Xcur\" ではありません。", "it does not begin with \"Xcur\"."},
    {"ヘッダーの大きさ ", "the header size "},
    {" がファイルの大きさ ", " does not fit the file size "},
    {" と合いません。", "."},
    {"目次の項目数 ", "the table of contents' entry count "},
    {" がファイルに収まりません。", " does not fit in the file."},
    {"（位置 ", " (at "},
    {"ファイルの終わりを越えています。", "runs past the end of the file."},
    {"画像の見出しが正しくありません。", "the image header is not valid."},
    {" は開けません（一辺1024ピクセルまで）。", " cannot be opened (1024 pixels a side at most)."},
    {"ホットスポットが画像の外にあります。", "the hotspot lies outside the image."},
    {"画像を読み込めませんでした。", "the images could not be read."},
    {"画像がありません。", "there is no image."},
    {"カーソルが一つもありません。", "there is no cursor."},
    {" が二つあります。", " is given twice."},
    {"サイズがありません。", "there are no sizes."},
    {" は書けません（1〜512）。", " cannot be written (1 to 512)."},
    {"拡大縮小の方法がありません。", "there is no way to scale."},
    {"はフォルダではありません。", " is not a folder."},
    {"には別のファイルがあります。", " holds other files."},
    {"にフォルダを作れませんでした。", ": no folder can be made there."},
    {" はありません。", " does not exist."},
    {"ステップ ", "step "},
    {"フレーム ", "frame "},
    {"画像 ", "image "},
    {"役割 ", "the role "},
    {"サイズ ", "size "},
    {"大きさ ", "size "},
    {"位置 ", "at "},
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
    {"：", ": "},
    {"（", " ("},
    {"）", ")"},
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
