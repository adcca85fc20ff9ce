// The vertical steps of one inverse level, taken row by row as far as the merged rows allow, so
// that a level can be rebuilt whole or a strip at a time as its band rows arrive.
#pragma once

#include "lifting.h"

#include <algorithm>
#include <cstddef>

// The steps of one level over the first `count` samples of rows at(0 … h − 1), which
// mergePair(i) fills in split form (rows i and i + 1; mergeSingle(i): row i alone) and rowStep(i)
// interleaves. Each row is merged just before the vertical steps first read it and stepped once
// they are done with it, so rows stay in the cache between the steps. `lift` tells whether the
// level is lifted vertically at all. Advance takes every step whose rows can be merged.
//
// A lifted level can also be rebuilt in runs of rows from …  to - 1 (`from` and `to` even, to
// below h unless it is h), each on its own: a run reads the odd row above it, which it must
// hold as placed, and the pair of rows below it, which it merges, but steps only its own rows.
template <typename Rows, typename Merge, typename MergeSingle, typename RowStep>
class InverseRowSteps {
public:
    InverseRowSteps(Rows at, std::size_t h, bool lift, std::size_t count, Merge mergePair,
                    MergeSingle mergeSingle, RowStep rowStep, std::size_t from = 0,
                    std::size_t to = 0)
        : at_(at), mergePair_(mergePair), mergeSingle_(mergeSingle), rowStep_(rowStep), h_(h),
          count_(count), from_(from), to_(to == 0 ? h : to), lift_(lift), k_(from / 2),
          done_(from) {}

    // Takes the steps that merge only rows below `mergeable` (h: all of them) and returns how
    // many rows from the top are stepped, and so final (from the run's first row on).
    std::size_t Advance(std::size_t mergeable) {
        if (!lift_) {
            for (; 2 * k_ + 2 <= std::min(mergeable, h_); ++k_) {
                mergePair_(2 * k_);
                rowStep_(2 * k_);
                rowStep_(2 * k_ + 1);
                done_ = 2 * k_ + 2;
            }
            if (mergeable >= h_ && done_ < h_) {
                mergeSingle_(h_ - 1);
                rowStep_(h_ - 1);
                done_ = h_;
            }
            return done_;
        }
        if (k_ == 0) {
            if (mergeable < 2) return done_;
            mergePair_(0);
            LiftSingleHalf<LiftSign::Subtract>(at_(0), at_(1), count_);
            k_ = 1;
        }
        for (; 2 * k_ + 1 <= h_ - 1 && 2 * k_ + 2 <= mergeable && 2 * k_ <= to_; ++k_) {
            mergePair_(2 * k_);
            LiftPairQuarter<LiftSign::Subtract>(at_(2 * k_), at_(2 * k_ - 1), at_(2 * k_ + 1),
                                                count_);
            // The odd row above a run is the run above's to finish.
            if (2 * k_ == from_) continue;
            LiftPairHalf<LiftSign::Add>(at_(2 * k_ - 1), at_(2 * k_ - 2), at_(2 * k_), count_);
            rowStep_(2 * k_ - 2);
            rowStep_(2 * k_ - 1);
            done_ = 2 * k_;
        }
        if (mergeable < h_ || done_ == to_) return done_;
        if (h_ % 2 == 0) {
            LiftSingle<LiftSign::Add>(at_(h_ - 1), at_(h_ - 2), count_);
            rowStep_(h_ - 2);
            rowStep_(h_ - 1);
        } else {
            mergeSingle_(h_ - 1);
            LiftSingleHalf<LiftSign::Subtract>(at_(h_ - 1), at_(h_ - 2), count_);
            LiftPairHalf<LiftSign::Add>(at_(h_ - 2), at_(h_ - 3), at_(h_ - 1), count_);
            rowStep_(h_ - 3);
            rowStep_(h_ - 2);
            rowStep_(h_ - 1);
        }
        done_ = h_;
        return done_;
    }

private:
    Rows at_;
    Merge mergePair_;
    MergeSingle mergeSingle_;
    RowStep rowStep_;
    std::size_t h_;
    std::size_t count_;
    std::size_t from_;
    std::size_t to_;
    bool lift_;
    std::size_t k_;    // the next pair of rows to merge
    std::size_t done_; // rows stepped from the top
};
