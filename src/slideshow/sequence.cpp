#include "slideshow/sequence.h"

#include <algorithm>
#include <numeric>
#include <random>

ShowSequence::ShowSequence(int count, Options options, uint32_t seed)
    : count_(std::max(count, 0)), options_(options), seed_(seed) {
    ahead_ = exists(0) ? entryAt(0) : -1;
}

ShowSequence::Step ShowSequence::Tick() { return paused_ ? Step::Stay : Forward(); }

ShowSequence::Step ShowSequence::Forward() {
    if (ended_) return Step::Stay;
    if (!exists(step_ + 1)) {
        ended_ = true;
        return Step::End;
    }
    return moveTo(step_ + 1);
}

ShowSequence::Step ShowSequence::Back() {
    if (ended_ || step_ <= 0) return Step::Stay;
    return moveTo(step_ - 1);
}

ShowSequence::Step ShowSequence::moveTo(long long step) {
    step_ = step;
    position_ = entryAt(step);
    ahead_ = exists(step + 1) ? entryAt(step + 1) : -1;
    return Step::Show;
}

int ShowSequence::entryAt(long long step) {
    const int index = int(step % count_);
    if (!options_.shuffle) return index;
    const long long round = step / count_;
    if (round != orderRound_) {
        // Made again from the seed and the round whenever needed, so that going back into the
        // round before finds the order it was played in, and nothing grows as rounds go by.
        // Two entries keep one order: any other would show one of them twice in a row.
        order_ = shuffled(count_ == 2 ? 0 : round);
        // A round does not begin with the picture that ended the one before. Only the first
        // two change places, so that the last stays as it was shuffled.
        if (round > 0 && count_ >= 3 && order_[0] == shuffled(round - 1).back())
            std::swap(order_[0], order_[1]);
        orderRound_ = round;
    }
    return order_[size_t(index)];
}

std::vector<int> ShowSequence::shuffled(long long round) const {
    std::seed_seq seq{seed_, uint32_t(round), uint32_t(round >> 32)};
    std::mt19937 random(seq);
    std::vector<int> order(static_cast<size_t>(count_));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), random);
    return order;
}
