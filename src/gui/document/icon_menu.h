#pragma once
// The document window's menu アイコン(&I): the pages of an icon set (add, duplicate, delete, move,
// make every size from the current page), and ファイル > 新規アイコンセット....

#include "core/document/document.h"
#include "core/document/quality_reduction.h"
#include "gui/kit/command_table.h"

namespace pq::gui {

class FrameServices;
class TImageForm;

inline constexpr const char* kDeletePageQuestion = "現在のページを削除しますか？";

CommandTable IconMenuCommands();
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
