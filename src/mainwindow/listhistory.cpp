#include "mainwindow/listhistory.h"

void ListHistory::Remember(QStringList before) {
    states_.push_back(std::move(before));
    if (states_.size() > kDepth) states_.pop_front();
}

QStringList ListHistory::TakeLast() {
    QStringList last = std::move(states_.back());
    states_.pop_back();
    return last;
}
