#include "system/drives.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <map>
#include <vector>

#include "system/filenames.h"
#include "system/jobs.h"
#include "system/paths.h"

namespace forms {

namespace {

using jobs::await;
using jobs::Clock;
using jobs::Job;
using jobs::startJob;
using paths::clean;
using paths::isUnder;

bool isPseudo(const QString& root, const QByteArray& type) {
    static const QList<QByteArray> pseudoTypes = {
        "proc",    "sysfs",       "devpts", "devtmpfs", "cgroup", "cgroup2",    "securityfs",
        "debugfs", "tracefs",     "pstore", "bpf",      "mqueue", "hugetlbfs",  "configfs",
        "fusectl", "binfmt_misc", "autofs", "efivarfs", "nsfs",   "rpc_pipefs", "squashfs"};
    if (pseudoTypes.contains(type)) return true;
    for (const char* system : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot"}) {
        const QString s = QString::fromLatin1(system);
        if (root == s || root.startsWith(s + QLatin1Char('/'))) {
            // Removable media of a desktop session are mounted under /run/media.
            return !root.startsWith(QStringLiteral("/run/media/"));
        }
    }
    return false;
}

// The mount table's text for a path: octal escapes for blanks, tabs, newlines and backslashes.
QByteArray unescapeMountField(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            out += char(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

struct Mount {
    QString path;
    QByteArray type, device;
};

// The mounted volumes, read from the kernel's table: reading it never touches a mount.
QList<Mount> mountTable() {
    QList<Mount> mounts;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly)) return mounts;
    for (const QByteArray& line : table.readAll().split('\n')) {
        // id parent major:minor root mount-point options [optional...] - type source ...
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 5 || dash + 2 >= fields.size()) continue;
        mounts.push_back({PathText(unescapeMountField(fields[4])), fields[dash + 1],
                          unescapeMountField(fields[dash + 2])});
    }
    return mounts;
}

// The labels of the disks, by device, as the system names them under /dev/disk/by-label.
std::map<QString, QString> diskLabels() {
    std::map<QString, QString> labels;
    const QDir dir(QStringLiteral("/dev/disk/by-label"));
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files)) {
        QByteArray label = link.fileName().toUtf8();
        for (qsizetype i = 0; (i = label.indexOf("\\x", i)) >= 0 && i + 3 < label.size(); ++i)
            label.replace(i, 4, QByteArray(1, char(label.mid(i + 2, 2).toInt(nullptr, 16))));
        labels[link.canonicalFilePath()] = QString::fromUtf8(label);
    }
    return labels;
}

// The mounts that may be drives: each mount path once, neither the root nor the system's own.
std::vector<Mount> mountsToAsk() {
    std::vector<Mount> mounts;
    for (Mount& m : mountTable()) {
        if (m.path == QLatin1String("/") || isPseudo(m.path, m.type)) continue;
        if (std::any_of(mounts.begin(), mounts.end(), [&](auto& k) { return k.path == m.path; }))
            continue;
        mounts.push_back(std::move(m));
    }
    return mounts;
}

// What a drive said when asked.
struct DriveState {
    bool answered = false;  // statfs gave an answer
    bool directory = false;
    quint64 bytes = 0;
};

// Asks a drive for its state on a thread of its own: a dead mount may never answer.
std::shared_ptr<Job<DriveState>> askState(const QByteArray& native, const FileSystemHook& hook) {
    return startJob<DriveState>([hook, native](auto&) {
        if (hook) hook(native);
        DriveState state;
        struct statvfs fs {};
        struct stat st {};
        if (::statvfs(native.constData(), &fs) != 0) return state;
        state.answered = true;
        state.bytes = quint64(fs.f_blocks) * fs.f_frsize;
        state.directory = ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        return state;
    });
}

// The drives of the system. Each is asked for its state (statfs, then whether its root is a
// folder) on a thread of its own, and the window waits for them only so long. A drive that has
// not answered by then is listed as not ready; while it still has not, it is not asked again,
// so that a dead mount costs the wait once and not at every look at the drives. An answer
// serves for a second: the drives are looked at several times in one user action.
class MountedDrives {
public:
    QList<DriveInfo> operator()() const {
        const std::vector<Mount> mounts = mountsToAsk();
        const FileSystemHook hook = jobs::Hook();
        const Clock::time_point now = Clock::now();
        std::vector<std::shared_ptr<Job<DriveState>>> jobs;
        std::vector<bool> askedBefore;
        for (const Mount& m : mounts) {
            std::shared_ptr<Job<DriveState>>& job = asked_->pending[m.path];
            const auto heard = asked_->heard.find(m.path);
            if (!job && heard != asked_->heard.end() && now - heard->second.first < kFresh) {
                job = std::make_shared<Job<DriveState>>();
                job->done = true;
                job->result = heard->second.second;
            }
            askedBefore.push_back(bool(job));
            if (!job) job = askState(NativePath(m.path), hook);
            jobs.push_back(job);
        }
        const Clock::time_point giveUpAt = Clock::now() + jobs::FileSystemWait();
        QList<DriveInfo> drives{{QStringLiteral("/"), QString()}};
        std::map<QString, QString> labels;
        bool labelled = false;
        for (size_t i = 0; i < mounts.size(); ++i) {
            const Mount& m = mounts[i];
            // A drive that has kept an earlier look waiting is not waited for again.
            if (!await(*jobs[i], askedBefore[i] ? Clock::time_point() : giveUpAt)) {
                drives.push_back({m.path, QString(), false});
                continue;
            }
            asked_->pending.erase(m.path);
            const DriveState& state = jobs[i]->result;
            if (!askedBefore[i]) asked_->heard[m.path] = {now, state};
            // A file bind-mounted over another, and volumes of no size (the system's own).
            if (!state.answered || !state.directory || state.bytes == 0) continue;
            if (!labelled && m.device.startsWith("/dev/")) {
                labels = diskLabels();
                labelled = true;
            }
            const auto label = labels.find(QFile::decodeName(m.device));
            drives.push_back({m.path, label != labels.end() ? label->second : QString()});
        }
        std::sort(drives.begin() + 1, drives.end(),
                  [](auto& a, auto& b) { return a.path < b.path; });
        return drives;
    }

private:
    static constexpr std::chrono::seconds kFresh{1};
    struct Asked {
        std::map<QString, std::shared_ptr<Job<DriveState>>> pending;  // not yet heard from
        std::map<QString, std::pair<Clock::time_point, DriveState>> heard;
    };
    std::shared_ptr<Asked> asked_ = std::make_shared<Asked>();
};

DriveSource& driveSource() {
    static DriveSource source = MountedDrives();
    return source;
}

}  // namespace

void SetDriveSource(DriveSource source) {
    driveSource() = source ? std::move(source) : DriveSource(MountedDrives());
}

QList<DriveInfo> Drives() { return driveSource()(); }

QString DriveOf(const QString& path) { return DriveOf(path, Drives()); }

QString DriveOf(const QString& path, const QList<DriveInfo>& drives) {
    const QString p = clean(path);
    QString best;
    for (const DriveInfo& d : drives)
        if (isUnder(p, clean(d.path)) && clean(d.path).size() > best.size()) best = clean(d.path);
    return best;
}

}  // namespace forms
