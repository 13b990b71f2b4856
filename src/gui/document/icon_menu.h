#pragma once
// The document window's menu アイコン(&I): the pages of an icon set (add, duplicate, delete, move,
// make every size from the current page), the frames of an animation (add, duplicate, delete,
// move, their times, the current page copied to every size of its frame), ファイル > 新規アイコンセット... and すべてのページを書き出す...,
// and the 表示 rows of the page strip.

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include <QString>
#include <string>
#include <vector>
#include "gui/kit/command_table.h"

namespace pq::gui {

class FrameServices;
class Prompt;
class TImageForm;

inline constexpr const char* kDeletePageQuestion = "現在のページを削除しますか？";
inline constexpr const char* kDeleteFrameQuestion = "現在のフレームをすべてのサイズごと削除しますか？";

CommandTable IconMenuCommands();

inline constexpr const char* kExportPagesTitle = "すべてのページを書き出す";
inline constexpr const char* kExportReplaceQuestion = "次のファイルはすでにあります。置き換えますか？";

// ファイル > すべてのページを書き出す...: each page (a one-image document: itself) as a PNG with its
// transparency, into a folder chosen through the prompt, named as pqtool extract names images.
Command ExportPagesCommand();
struct ExportedPage {
    int Page = 0;
    std::string Name;
};
std::vector<ExportedPage> PlanPageExport(const TImageForm& form);
// Writes the pages into `folder`. Names already there are listed first and replaced only when the
// user agrees; otherwise nothing is written. A page that cannot be written stops the export, said.
bool ExportAllPages(TImageForm& form, Prompt& prompt, const QString& folder);
// 表示 > ページ一覧 (shown or hidden) and ページ一覧の高さ (32, 48, 64 px), shared by every window.
CommandTable PageStripViewCommands();
Command NewIconSetCommand();

// The page of `size` x `size` made from `source`: resampled (area averaging; whole-factor
// enlargement repeats pixels), unpainted where most of its source is, `colors` colours reduced
// as `options` says.
pq::Document PageFromDocument(const pq::Document& source, int size, int colors, int selectedZoom,
                              const pq::ReductionOptions& options = pq::ReductionOptions{});

// すべてのサイズを作る for the sizes given: each size no page has yet, made from the current page
// and placed among the pages by size. The current page stays current.
void MakePageSizes(TImageForm& form, const std::vector<int>& sizes);

}  // namespace pq::gui
