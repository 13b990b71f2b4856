#include "gui/ops/ops_menus.h"

#include "gui/document/image_form.h"

namespace pq::gui {

CommandTable ImageMenuCommands() {
    return {
        {.Name = "miSize", .Caption = "サイズ変更(&S)...", .Hint = "キャンバスのサイズを変更します。",
         .Tooltip = "サイズ変更", .Shortcut = QKeySequence("Ctrl+I")},
        Separator(),
        Submenu("miRotate", "画像回転(&R)",
                {
                    {.Name = "mirReverseH", .Caption = "左右反転", .Shortcut = QKeySequence("Ctrl+H")},
                    {.Name = "mirReverseV", .Caption = "上下反転", .Shortcut = QKeySequence("Ctrl+V")},
                    Separator(),
                    {.Name = "mir90", .Caption = "90度回転"},
                    {.Name = "mir180", .Caption = "180度回転"},
                    {.Name = "mir270", .Caption = "270度回転"},
                    Separator(),
                    {.Name = "mirRotation", .Caption = "角度指定..."},
                }),
        Submenu("miEffect", "効果(&E)", {}),
    };
}

CommandTable PaletteAdjustCommands() {
    return {
        {.Name = "mcBlight", .Caption = "明るさ調整(&B)...", .Hint = "明るさを調整します。"},
        {.Name = "mcColor", .Caption = "RGB調整(&C)...", .Hint = "赤、緑、青をそれぞれ調整します。"},
        {.Name = "mcGray", .Caption = "グレースケール(&G)", .Hint = "グレースケールにします。"},
        {.Name = "mcReverse", .Caption = "反転(&R)", .Hint = "色を反転させます。"},
        {.Name = "mcSorari", .Caption = "ソラリゼーション(&O)", .Hint = "明るさが半分以上の色を反転させます。"},
    };
}

CommandTable ColorCountCommands() {
    return {{.Name = "mcColorCount", .Caption = "色数変更(&I)", .Hint = "色数を変更します。"}};
}

CommandTable CompositeCommands() {
    return {{.Name = "N21", .Caption = "合成",
             .EnabledWhen = [](const TImageForm& form, const FrameServices&) { return form.Doc().LayerCount() > 1; }}};
}

}  // namespace pq::gui
