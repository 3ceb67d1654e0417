#pragma once

#include <QStringList>
#include <deque>

// The play list's earlier states, for 元に戻す: each change to the list keeps the entries it
// had before, the oldest going once there are more than kDepth. Kept for this run only.
class ListHistory {
public:
    static constexpr size_t kDepth = 100;

    // The entries the list had before a change that changed it.
    void Remember(QStringList before);
    bool IsEmpty() const { return states_.empty(); }
    // The entries before the last change, taken off the history.
    QStringList TakeLast();

private:
    std::deque<QStringList> states_;
};
