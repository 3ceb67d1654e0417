#pragma once

#include <cstdint>
#include <vector>

// The order of a slide show and where it stands: which entry of the working list is on screen,
// which comes next (to be read ahead), whether the show is paused and when it ends. It holds
// no window and no picture: the window maps its timer and keys onto it and shows what it says.
class ShowSequence {
public:
    struct Options {
        bool loop = false;     // after the last entry the first comes again; the show never ends
        bool shuffle = false;  // each round plays every entry once, in an order of its own
    };
    // What a step asks of the window.
    enum class Step {
        Stay,  // nothing changes
        Show,  // put up the entry at Position()
        End,   // the show is over: announce it
    };

    ShowSequence() = default;
    // A show of `count` entries. `seed` chooses the shuffled orders: a show played again with
    // the same seed plays them again.
    ShowSequence(int count, Options options, uint32_t seed = 0);

    // The timer: the next entry, or the end after the last. Nothing while paused.
    Step Tick();
    // Right: what the next tick would do, now, paused or not.
    Step Forward();
    // Left: the entry played before this one; nothing before the first.
    Step Back();
    void TogglePause() { paused_ = !paused_; }
    bool Paused() const { return paused_; }

    // The entry on screen; -1 before the first step.
    int Position() const { return position_; }
    // The entry that the next step forward shows, to be read ahead; -1 when none comes.
    int Ahead() const { return ahead_; }

private:
    Step moveTo(long long step);
    int entryAt(long long step);
    // A round's order as drawn from the seed.
    std::vector<int> shuffled(long long round) const;
    // Whether a step is played: an empty list has nothing to repeat, looping or not.
    bool exists(long long step) const {
        return count_ > 0 && step >= 0 && (options_.loop || step < count_);
    }

    int count_ = 0;
    Options options_;
    uint32_t seed_ = 0;
    // Pictures shown since the start, counted across rounds, less one: -1 before the first.
    long long step_ = -1;
    int position_ = -1;
    int ahead_ = -1;
    bool paused_ = false;
    bool ended_ = false;
    // The shuffled order of one round, kept for the round it was made for.
    long long orderRound_ = -1;
    std::vector<int> order_;
};
