#include "gui/palettes/layer_palette.h"

#include <QAction>
#include <QEvent>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/document/layer_commands.h"
#include "core/formats/settings_files.h"
#include "gui/kit/command_table.h"
#include "gui/kit/frame_services.h"
#include "gui/document/image_form.h"
#include "gui/document/layer_menu.h"
#include "gui/document/layer_icons.h"
#include "gui/palettes/layer_panel.h"

namespace pq::gui {

TLayerPalette::TLayerPalette(FrameServices& frame, const std::filesystem::path& settingsFolder)
    : TToolWindow(frame.FrameWidget(), "レイヤ", settingsFolder / pq::kLayerPaletteFile), frame_(frame) {
    setObjectName("TLayerPalette");
    QFont f("ＭＳ Ｐゴシック");
    f.setPixelSize(12);
    setFont(f);

    toolBar_ = new QToolBar(this);
    toolBar_->setObjectName("ToolBar1");
    toolBar_->setIconSize(QSize(16, 16));
    // The seven buttons and three separators should fit the 200-pixel width without the overflow
    // arrow: no drag handle, tight buttons (FitToolBar widens the window where a style needs it).
    toolBar_->setMovable(false);
    toolBar_->setContentsMargins(0, 0, 0, 0);
    toolBar_->setStyleSheet("QToolBar { spacing: 1px; padding: 0px; } QToolButton { padding: 1px; margin: 0px; }");
    // The buttons act on the active document, as the レイヤ menu's entries do on theirs.
    auto button = [this](const char* name, const char* hint, int icon, CommandRun run) {
        AddCommandButton(toolBar_,
                         {.Name = name, .Caption = hint, .Tooltip = hint, .Icon = LayerIcon(icon), .Run = std::move(run)},
                         frame_);
    };
    button("tbbNewLayer", "レイヤの追加", kLayerIconNew, OnDocument(&tbbNewLayerClick));
    button("tbbDelLayer", "選択中のレイヤを削除", kLayerIconDelete, OnDocument(&tbbDelLayerClick));
    toolBar_->addSeparator();
    button("tbbUp", "レイヤを上へ移動", kLayerIconUp, OnDocument(&tbbUpClick));
    button("tbbDown", "レイヤを下へ移動", kLayerIconDown, OnDocument(&tbbDownClick));
    toolBar_->addSeparator();
    button("tbbIntegrate", "下のレイヤと統合", kLayerIconMergeDown, OnDocument(&tbbIntegrateClick));
    button("tbbAllIntegrate", "すべてのレイヤを統合", kLayerIconMergeAll,
           [](TImageForm& form, FrameServices& frame) { tbbAllIntegrateClick(frame, form); });
    toolBar_->addSeparator();
    button("tbbName", "名前の変更", kLayerIconRename, [](TImageForm& form, FrameServices& frame) { tbbNameClick(frame, form); });

    scroll_ = new QScrollArea(this);
    scroll_->setObjectName("LayerPanelParent");
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->verticalScrollBar()->setSingleStep(TLayerPanel::kRowHeight);
    scroll_->verticalScrollBar()->setTracking(true);
    rowsHost_ = new QWidget;
    rowsHost_->setObjectName("LayerRows");
    rowsHost_->setFixedSize(TLayerPanel::kRowWidth, 0);
    scroll_->setWidget(rowsHost_);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolBar_);
    layout->addWidget(scroll_, 1);

    FitToolBar();
    setMinimumHeight(163);
    resize(200, 163);
    move(435, 274);
    ReadPosition();
}

TImageForm* TLayerPalette::Active() const { return frame_.ActiveForm(); }

void TLayerPalette::FitToolBar() {
    // The hint is the row of every button and separator at the present style's sizes.
    const QSize hint = toolBar_->sizeHint();
    toolBar_->setFixedHeight(std::max(kToolBarHeight, hint.height()));
    setFixedWidth(std::max(kWidth, hint.width()));
}

void TLayerPalette::changeEvent(QEvent* event) {
    TToolWindow::changeEvent(event);
    // A new style or font reaches the buttons in no fixed order: measure once all have it.
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange)
        QMetaObject::invokeMethod(this, &TLayerPalette::FitToolBar, Qt::QueuedConnection);
    if (event->type() == QEvent::PaletteChange)
        if (QAction* rename = Button("tbbName")) rename->setIcon(LayerIcon(kLayerIconRename));
}

QAction* TLayerPalette::Button(const char* objectName) const { return findChild<QAction*>(objectName); }

TLayerPanel* TLayerPalette::Row(int layer) const {
    return layer >= 0 && layer < RowCount() ? rows_[std::size_t(layer)] : nullptr;
}

void TLayerPalette::DestroyRow(TLayerPanel* row) {
    // The row may be the sender of the event being handled: let it go once that returns.
    row->hide();
    row->setParent(nullptr);
    row->deleteLater();
}

void TLayerPalette::RebuildLayerPalette(TImageForm* form) {
    if (!form || !form->Doc().Ready) return;
    thumbsOf_ = nullptr;
    const pq::Document& doc = form->Doc();
    const int count = doc.LayerCount();
    for (int i = 0; i < count; ++i) {
        if (i >= RowCount()) {
            auto* row = new TLayerPanel(i, rowsHost_);
            connect(row, &TLayerPanel::Selected, this, &TLayerPalette::panLayerNameClick);
            connect(row, &TLayerPanel::EyePressed, this, &TLayerPalette::imgVisibleMouseDown);
            connect(row, &TLayerPanel::DragMoved, this, &TLayerPalette::panLayerNameDragOver);
            connect(row, &TLayerPanel::DragDropped, this, &TLayerPalette::panLayerNameDragDrop);
            rows_.push_back(row);
        }
        TLayerPanel* row = rows_[std::size_t(i)];
        row->SetLayerName(QString::fromStdString(doc.LayerAt(i).Name));
        row->SetEye(doc.LayerAt(i).Visible != 0);
    }
    while (RowCount() > count) {
        DestroyRow(rows_.back());
        rows_.pop_back();
    }
    rowsHost_->setFixedSize(TLayerPanel::kRowWidth, count * TLayerPanel::kRowHeight);
    scroll_->verticalScrollBar()->setValue(0);
    for (int i = 0; i < count; ++i) {
        rows_[std::size_t(i)]->move(0, (count - 1 - i) * TLayerPanel::kRowHeight);
        rows_[std::size_t(i)]->show();
    }
    HighlightCurrentRow(form);
}

void TLayerPalette::RefreshLayerRows(TImageForm* form) {
    if (!form || !form->Doc().Ready) return;
    const pq::Document& doc = form->Doc();
    const int n = std::min(RowCount(), doc.LayerCount());
    for (int i = 0; i < n; ++i) {
        rows_[std::size_t(i)]->SetLayerName(QString::fromStdString(doc.LayerAt(i).Name));
        rows_[std::size_t(i)]->SetEye(doc.LayerAt(i).Visible != 0);
    }
    HighlightCurrentRow(form);
}

void TLayerPalette::SetAllThumbnails(TImageForm& form) {
    const pq::Composite& comp = form.Comp();
    const auto& previews = comp.LayerPreviews;
    const int n = std::min(RowCount(), int(previews.size()));
    bool all = n == RowCount() && n == int(previews.size());
    for (int i = 0; i < n; ++i) {
        const pq::Raster& r = previews[std::size_t(i)];
        if (r.Empty()) {
            all = false;
            continue;
        }
        const QImage view(r.Data(), r.Width(), r.Height(), r.Stride(), QImage::Format_BGR888);
        // A picture already of the thumbnail's size is kept as it is by the stretch: the row
        // gets its own copy, not one that shares the composite's memory.
        const bool thumbSized = view.size() == QSize(TLayerPanel::kThumbSize, TLayerPanel::kThumbSize);
        rows_[std::size_t(i)]->SetThumbnail(thumbSized ? view.copy() : view);
    }
    thumbsOf_ = all ? &form : nullptr;
    thumbsSize_ = QSize(comp.CompositeColor.Width(), comp.CompositeColor.Height());
}

bool TLayerPalette::LearnSampling(QSize size) {
    if (size == sampledSize_) return sampledExact_;
    sampledSize_ = size;
    sampledExact_ = false;
    // Each pixel holds its own coordinates: x in red and the low half of green, y in the high
    // half of green and blue.
    constexpr int kLimit = 1 << 12;
    if (size.isEmpty() || size.width() > kLimit || size.height() > kLimit) return false;
    QImage coords(size, QImage::Format_BGR888);
    for (int y = 0; y < size.height(); ++y) {
        uint8_t* row = coords.scanLine(y);
        for (int x = 0; x < size.width(); ++x) {
            row[3 * x] = uint8_t(y);                              // blue
            row[3 * x + 1] = uint8_t((x >> 8) | ((y >> 8) << 4)); // green
            row[3 * x + 2] = uint8_t(x);                          // red
        }
    }
    constexpr int t = TLayerPanel::kThumbSize;
    const QImage stretched = coords.scaled(t, t, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    // Only formats of eight bits per channel hold the copied pixels exactly.
    const QImage::Format f = stretched.format();
    if (stretched.size() != QSize(t, t) ||
        (f != QImage::Format_BGR888 && f != QImage::Format_RGB888 && f != QImage::Format_RGB32 &&
         f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied))
        return false;
    sampleX_.assign(std::size_t(t), -1);
    sampleY_.assign(std::size_t(t), -1);
    for (int j = 0; j < t; ++j)
        for (int i = 0; i < t; ++i) {
            const QRgb c = stretched.pixel(i, j);
            const int x = qRed(c) | ((qGreen(c) & 0x0F) << 8), y = qBlue(c) | ((qGreen(c) >> 4) << 8);
            if (x >= size.width() || y >= size.height()) return false;
            int& sx = sampleX_[std::size_t(i)];
            int& sy = sampleY_[std::size_t(j)];
            if ((sx >= 0 && sx != x) || (sy >= 0 && sy != y)) return false;
            sx = x;
            sy = y;
        }
    sampledFormat_ = f;
    sampledExact_ = true;
    return true;
}

void TLayerPalette::UpdateThumbnails(TImageForm* form) {
    if (!form) return;
    // Only the document the rows stand for paints them; a recompose of it they did not follow
    // makes them unknown.
    if (form != Active()) {
        if (form == thumbsOf_) thumbsOf_ = nullptr;
        return;
    }
    const pq::Composite& comp = form->Comp();
    const auto& previews = comp.LayerPreviews;
    const QSize size(comp.CompositeColor.Width(), comp.CompositeColor.Height());
    const pq::Rect changed = comp.Changed;
    const bool whole = changed.left <= 0 && changed.top <= 0 && changed.right >= size.width() &&
                       changed.bottom >= size.height();
    if (whole || thumbsOf_ != form || thumbsSize_ != size || RowCount() != int(previews.size()) ||
        !LearnSampling(size)) {
        SetAllThumbnails(*form);
        return;
    }
    // The thumbnail columns and rows that sample the changed pixels; the others are as they were.
    constexpr int t = TLayerPanel::kThumbSize;
    std::vector<int> columns, lines;
    for (int i = 0; i < t; ++i)
        if (sampleX_[std::size_t(i)] >= changed.left && sampleX_[std::size_t(i)] < changed.right) columns.push_back(i);
    for (int j = 0; j < t; ++j)
        if (sampleY_[std::size_t(j)] >= changed.top && sampleY_[std::size_t(j)] < changed.bottom) lines.push_back(j);
    if (columns.empty() || lines.empty()) return;
    for (int layer = 0; layer < RowCount(); ++layer) {
        const pq::Raster& r = previews[std::size_t(layer)];
        TLayerPanel* row = rows_[std::size_t(layer)];
        QImage thumb = row->Thumbnail();
        if (r.Empty() || QSize(r.Width(), r.Height()) != size || thumb.size() != QSize(t, t) ||
            thumb.format() != sampledFormat_) {
            SetAllThumbnails(*form);
            return;
        }
        bool differs = false;
        for (int j : lines) {
            const int y = sampleY_[std::size_t(j)];
            for (int i : columns) {
                const pq::Rgb c = r.PixelUnchecked(sampleX_[std::size_t(i)], y);
                const QRgb want = qRgb(c.r, c.g, c.b);
                if (thumb.pixel(i, j) == want) continue;
                thumb.setPixel(i, j, want);
                differs = true;
            }
        }
        // Already of the thumbnail's size, the picture is taken as it is.
        if (differs) row->SetThumbnail(thumb);
    }
}

void TLayerPalette::HighlightCurrentRow(TImageForm* form) {
    const int current = form ? form->Doc().CurrentLayer() : -1;
    for (int i = 0; i < RowCount(); ++i)
        rows_[std::size_t(i)]->SetLook(i == current ? TLayerPanel::Look::Highlighted : TLayerPanel::Look::Normal);
}

void TLayerPalette::ClearLayerPalette() {
    for (TLayerPanel* row : rows_) DestroyRow(row);
    rows_.clear();
    dropTarget_ = nullptr;
    thumbsOf_ = nullptr;
    rowsHost_->setFixedSize(TLayerPanel::kRowWidth, 0);
}

void TLayerPalette::UpdateButtons() { UpdateCommandButtons(toolBar_); }

// ---- rows ----------------------------------------------------------------------------------------

void TLayerPalette::panLayerNameClick(int tag) {
    TImageForm* form = Active();
    if (!form) return;
    form->ApplyEdit(pq::SelectLayer(form->Doc(), tag));
}

void TLayerPalette::imgVisibleMouseDown(int tag) {
    TImageForm* form = Active();
    if (!form) return;
    form->ApplyEdit(pq::ToggleLayerVisible(form->Doc(), tag));
}

TLayerPanel* TLayerPalette::RowAt(QPoint global) const {
    // Rows scrolled out of sight lie under the toolbar or below the window: not targets.
    const QWidget* view = scroll_->viewport();
    if (!view->rect().contains(view->mapFromGlobal(global))) return nullptr;
    for (TLayerPanel* row : rows_) {
        QWidget* name = row->NamePanel();
        if (name->rect().contains(name->mapFromGlobal(global))) return row;
    }
    return nullptr;
}

void TLayerPalette::panLayerNameDragOver(int tag, QPoint global) {
    TLayerPanel* target = RowAt(global);
    if (target && target->Tag() == tag) target = nullptr;
    if (target == dropTarget_) return;
    // Leaving a row gives it the normal look, even the current row, until the next highlight.
    if (dropTarget_) dropTarget_->SetLook(TLayerPanel::Look::Normal);
    dropTarget_ = target;
    if (target) target->SetLook(TLayerPanel::Look::DropTarget);
}

void TLayerPalette::panLayerNameDragDrop(int tag, QPoint global) {
    if (dropTarget_) dropTarget_->SetLook(TLayerPanel::Look::Normal);
    dropTarget_ = nullptr;
    TLayerPanel* target = RowAt(global);
    TImageForm* form = Active();
    if (!target || !form) return;
    pq::Document& doc = form->Doc();
    // A row dropped on itself still records the move; its layer becomes current, a floating
    // selection of another layer being committed there first.
    form->ApplyEdit(pq::MoveLayerTo(doc, tag, target->Tag()));
}

}  // namespace pq::gui
