#pragma once
// A deliberately literal, slow QualityPalette used as the yardstick for the fast one in
// core/document/quality_reduction.cpp, for small inputs only. Written from the method as the
// header states it, with the order of every choice spelled out:
//  - repeats merged, counts of 0 or less dropped, colours sorted by red, green, blue; N or fewer
//    distinct colours are the palette;
//  - greedy split: every box is cut where the weighted sum of squared errors drops the most
//    (axes red, green, blue, values rising, the first best cut kept; values <= the cut stay in
//    the box, the rest become a new box at the end of the list); the box whose cut gains the
//    most is cut next, the first of equal gains; centres are weighted means rounded half up;
//  - k-medians passes: every colour to its nearest centre (sum of absolute differences, lowest
//    index on ties); stop when the error does not fall, when it falls by less than 1/2000, after
//    `passes` moves or at error 0, keeping the best centres seen; otherwise every centre with
//    members moves to the lower weighted median of each channel, and each centre without members
//    (in order) to the colour costing the most where it is (the first of equal costs), whose cost
//    then counts as 0;
//  - the palette sorted by red, green, blue.
// Gains are compared as exact fractions, never in floating point.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <span>
#include <vector>

#include "core/document/quality_reduction.h"

namespace pq::reference {

struct QColor {
    std::array<int, 3> c;
    int64_t w;
};

// A fraction num / den with den > 0.
struct Fraction {
    __int128 num = 0, den = 1;
};
inline bool Greater(const Fraction& a, const Fraction& b) { return a.num * b.den > b.num * a.den; }

// |sum w c|^2 / sum w of the colours, as a fraction.
inline Fraction SquaredMeanTerm(const std::vector<QColor>& colors) {
    __int128 s[3] = {0, 0, 0}, w = 0;
    for (const QColor& q : colors) {
        w += q.w;
        for (int ch = 0; ch < 3; ++ch) s[ch] += __int128(q.w) * q.c[std::size_t(ch)];
    }
    return Fraction{s[0] * s[0] + s[1] * s[1] + s[2] * s[2], w};
}

inline Fraction Sum(const Fraction& a, const Fraction& b) { return Fraction{a.num * b.den + b.num * a.den, a.den * b.den}; }

struct QBox {
    std::vector<QColor> members;
    bool splittable = false;
    int axis = 0, threshold = 0;
    Fraction gain;
};

// The best cut of a box with two colours or more: the largest sum of the two halves'
// |S|^2 / W (the smallest sum of their squared errors).
inline void BestCut(QBox& box) {
    box.splittable = box.members.size() >= 2;
    if (!box.splittable) return;
    bool found = false;
    Fraction best;
    for (int axis = 0; axis < 3; ++axis)
        for (int v = 0; v < 256; ++v) {
            std::vector<QColor> left, right;
            for (const QColor& q : box.members) (q.c[std::size_t(axis)] <= v ? left : right).push_back(q);
            if (left.empty() || right.empty()) continue;
            // Only values some colour has are cuts: the same halves as the first such value.
            bool present = false;
            for (const QColor& q : box.members) present = present || q.c[std::size_t(axis)] == v;
            if (!present) continue;
            const Fraction score = Sum(SquaredMeanTerm(left), SquaredMeanTerm(right));
            if (!found || Greater(score, best)) found = true, best = score, box.axis = axis, box.threshold = v;
        }
    const Fraction all = SquaredMeanTerm(box.members);
    box.gain = Fraction{best.num * all.den - all.num * best.den, best.den * all.den};
}

inline int L1(const std::array<int, 3>& a, const std::array<int, 3>& b) {
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

inline int Nearest(const std::vector<std::array<int, 3>>& centres, const std::array<int, 3>& c) {
    int best = 0;
    for (int k = 1; k < int(centres.size()); ++k)
        if (L1(centres[std::size_t(k)], c) < L1(centres[std::size_t(best)], c)) best = k;
    return best;
}

inline std::vector<Rgb> QualityPalette(std::span<const WeightedColor> input, int N) {
    N = std::clamp(N, 1, 256);
    std::vector<QColor> colors;
    for (const WeightedColor& in : input) {
        if (in.count <= 0) continue;
        const std::array<int, 3> c{in.color.r, in.color.g, in.color.b};
        auto same = std::find_if(colors.begin(), colors.end(), [&](const QColor& q) { return q.c == c; });
        if (same != colors.end()) same->w += in.count;
        else colors.push_back(QColor{c, in.count});
    }
    std::sort(colors.begin(), colors.end(), [](const QColor& a, const QColor& b) { return a.c < b.c; });

    std::vector<std::array<int, 3>> centres;
    if (int(colors.size()) <= N) {
        for (const QColor& q : colors) centres.push_back(q.c);
    } else {
        std::vector<QBox> boxes(1);
        boxes[0].members = colors;
        BestCut(boxes[0]);
        while (int(boxes.size()) < N) {
            int chosen = -1;
            for (int b = 0; b < int(boxes.size()); ++b)
                if (boxes[std::size_t(b)].splittable &&
                    (chosen < 0 || Greater(boxes[std::size_t(b)].gain, boxes[std::size_t(chosen)].gain)))
                    chosen = b;
            if (chosen < 0) break;
            QBox& box = boxes[std::size_t(chosen)];
            QBox fresh;
            std::vector<QColor> kept;
            for (const QColor& q : box.members) (q.c[std::size_t(box.axis)] <= box.threshold ? kept : fresh.members).push_back(q);
            box.members = kept;
            BestCut(box);
            BestCut(fresh);
            boxes.push_back(fresh);
        }
        for (const QBox& box : boxes) {
            int64_t W = 0, S[3] = {0, 0, 0};
            for (const QColor& q : box.members) {
                W += q.w;
                for (int ch = 0; ch < 3; ++ch) S[ch] += q.w * q.c[std::size_t(ch)];
            }
            centres.push_back({int((S[0] + W / 2) / W), int((S[1] + W / 2) / W), int((S[2] + W / 2) / W)});
        }

        const int passes = std::clamp(int(196608 / colors.size()), 3, 10);
        std::vector<std::array<int, 3>> best = centres;
        int64_t bestError = std::numeric_limits<int64_t>::max();
        for (int pass = 0;; ++pass) {
            std::vector<int> assign(colors.size());
            std::vector<int64_t> cost(colors.size());
            int64_t error = 0;
            for (std::size_t i = 0; i < colors.size(); ++i) {
                assign[i] = Nearest(centres, colors[i].c);
                cost[i] = colors[i].w * L1(centres[std::size_t(assign[i])], colors[i].c);
                error += cost[i];
            }
            if (error >= bestError) break;
            const bool small =
                bestError != std::numeric_limits<int64_t>::max() && (bestError - error) * 2000 < bestError;
            bestError = error, best = centres;
            if (small || pass == passes || error == 0) break;
            std::vector<bool> empty(centres.size(), true);
            for (std::size_t k = 0; k < centres.size(); ++k) {
                // The members' values of each channel, one per unit of weight, sorted: the lower
                // median is the one at (count - 1) / 2.
                for (int ch = 0; ch < 3; ++ch) {
                    std::vector<int> values;
                    for (std::size_t i = 0; i < colors.size(); ++i)
                        if (assign[i] == int(k))
                            for (int64_t n = 0; n < colors[i].w; ++n) values.push_back(colors[i].c[std::size_t(ch)]);
                    if (values.empty()) continue;
                    empty[k] = false;
                    std::sort(values.begin(), values.end());
                    centres[k][std::size_t(ch)] = values[(values.size() - 1) / 2];
                }
            }
            for (std::size_t k = 0; k < centres.size(); ++k) {
                if (!empty[k]) continue;
                std::size_t worst = 0;
                for (std::size_t i = 1; i < colors.size(); ++i)
                    if (cost[i] > cost[worst]) worst = i;
                if (cost[worst] == 0) break;
                centres[k] = colors[worst].c;
                cost[worst] = 0;
            }
        }
        centres = best;
    }
    std::sort(centres.begin(), centres.end());
    std::vector<Rgb> out;
    for (const auto& c : centres) out.push_back(Rgb{uint8_t(c[0]), uint8_t(c[1]), uint8_t(c[2])});
    return out;
}

}  // namespace pq::reference
