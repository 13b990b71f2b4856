#include "core/formats/cursor_animation.h"

#include <algorithm>
#include <limits>

namespace pq {

int NominalSizeOf(const CursorFrame& frame, std::size_t i) {
    if (i < frame.NominalSizes.size() && frame.NominalSizes[i] > 0) return frame.NominalSizes[i];
    if (i >= frame.Sizes.size()) return 0;
    const Document& doc = frame.Sizes[i].Doc;
    return std::max(doc.ImageWidth, doc.ImageHeight);
}

std::size_t PageCount(const CursorAnimation& anim) {
    std::size_t n = 0;
    for (const CursorFrame& f : anim.Frames) n += f.Sizes.size();
    return n;
}

int JiffiesToMilliseconds(std::uint32_t jiffies) {
    const std::uint64_t ms = (std::uint64_t(jiffies) * 1000 + 30) / 60;
    return int(std::min<std::uint64_t>(ms, std::uint64_t(std::numeric_limits<int>::max())));
}

std::uint32_t MillisecondsToJiffies(int milliseconds) {
    if (milliseconds <= 0) return 0;
    return std::uint32_t((std::uint64_t(milliseconds) * 60 + 500) / 1000);
}

bool HasTrivialOrder(const CursorAnimation& anim) {
    if (anim.Steps.size() != anim.Frames.size()) return false;
    for (std::size_t i = 0; i < anim.Steps.size(); ++i)
        if (anim.Steps[i] != int(i)) return false;
    return true;
}

FileResult CheckCursorAnimation(const CursorAnimation& anim) {
    const std::string head = std::string(kAnimationBrokenMessage) + "\n";
    if (anim.Frames.empty()) return FileResult::Failure(head + "フレームがありません。");
    for (std::size_t i = 0; i < anim.Frames.size(); ++i) {
        const CursorFrame& f = anim.Frames[i];
        if (f.Sizes.empty())
            return FileResult::Failure(head + "フレーム " + std::to_string(i) + " に画像がありません。");
        if (!f.NominalSizes.empty() && f.NominalSizes.size() != f.Sizes.size())
            return FileResult::Failure(head + "フレーム " + std::to_string(i) + " の公称サイズの数が画像の数と違います。");
    }
    if (anim.Steps.empty() || anim.Steps.size() != anim.StepMilliseconds.size())
        return FileResult::Failure(head + "ステップの数と表示時間の数が合いません。");
    for (std::size_t i = 0; i < anim.Steps.size(); ++i) {
        if (anim.Steps[i] < 0 || std::size_t(anim.Steps[i]) >= anim.Frames.size())
            return FileResult::Failure(head + "ステップ " + std::to_string(i) + " が存在しないフレーム " +
                                       std::to_string(anim.Steps[i]) + " を指しています。");
        if (anim.StepMilliseconds[i] < 0)
            return FileResult::Failure(head + "ステップ " + std::to_string(i) + " の表示時間が負です。");
    }
    return FileResult::Success();
}

CursorAnimation AnimationOfFrames(std::vector<CursorFrame> frames, int milliseconds, int resourceType) {
    CursorAnimation anim;
    anim.ResourceType = resourceType;
    anim.Frames = std::move(frames);
    for (std::size_t i = 0; i < anim.Frames.size(); ++i) {
        anim.Steps.push_back(int(i));
        anim.StepMilliseconds.push_back(milliseconds);
    }
    return anim;
}

}  // namespace pq
