// Opening a whole icon set in the editor stays within bounds: a directory listing one image tens
// of thousands of times is refused quickly, with the limit named, and the windows already open
// stay as they are.
#include <QMdiArea>
#include <QPushButton>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>

#include "gui/app/main_form.h"
#include "gui/formats/icon_chooser.h"
#include "support/editor_fixture.h"
#include "support/hostile_icons.h"

namespace pq::test {
namespace {

using gui::PromptAnswer;

class IconSetBounds : public EditorTest {
protected:
    QString PathOf(const std::string& name) const { return QString::fromStdString((folder_ / name).string()); }
};

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST_F(IconSetBounds, OpeningEveryImageOfAHostileIconIsRefusedQuickly) {
    NewDocument();
    struct Variant {
        const char* name;
        SharedImage kind;
        int side;
    };
    for (const Variant v : {Variant{"dib256.ico", SharedImage::Dib32, 256}, Variant{"png256.ico", SharedImage::Png, 256},
                            Variant{"dib16.ico", SharedImage::Dib32, 16}}) {
        WriteBytes(folder_ / v.name, SharedImageIcon(v.kind, v.side, 65535));
        prompt_.ExpectDialog("TForm7", [](QDialog& d) {
            static_cast<gui::TForm7&>(d).Button3()->click();
            return d.result() == QDialog::Accepted;
        });
        prompt_.ExpectMessage(PromptAnswer::Ok);
        const long before = PeakKiB();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(frame_->OpenFile(PathOf(v.name)), nullptr) << v.name;
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0) << v.name;
        EXPECT_LT(PeakKiB() - before, 400 * 1024) << v.name;
        EXPECT_EQ(prompt_.Shown().back().Text,
                  "このアイコンは画像が多すぎるため、すべては開けません。一度に開けるのは1024枚までです。")
            << v.name;
        EXPECT_EQ(frame_->MdiArea()->subWindowList().size(), 1) << v.name;
    }
    // One image of the same file still opens.
    prompt_.ExpectDialog("TForm7", [](QDialog& d) {
        static_cast<gui::TForm7&>(d).Button1()->click();
        return d.result() == QDialog::Accepted;
    });
    EXPECT_NE(frame_->OpenFile(PathOf("dib16.ico")), nullptr);
    EXPECT_EQ(frame_->MdiArea()->subWindowList().size(), 2);
    EXPECT_TRUE(prompt_.Done());
}

}  // namespace
}  // namespace pq::test
