#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

// The slide show as a video file: H.264 at 30 frames a second in an MP4, with music as AAC.
namespace forms {

struct VideoOptions {
    QStringList paths;  // the show's entries, in order
    int seconds = 3;    // how long each picture is held
    QSize size{1920, 1080};
    bool fit = false;      // pictures larger than the video reduced to fit it, else cut
    bool fade = false;     // each picture fades in over the one before
    bool caption = false;  // each picture named at the bottom
    bool shuffle = false;  // the entries in a shuffled order, once
    QString music;         // an audio file, repeated or cut to the video's length; none if empty
    QString target;        // the file written
};

// Where an export has got to: the entry being encoded (from 0), how many there are, and an
// estimate of the seconds left (negative while none can be made).
struct VideoProgress {
    int index = 0;
    int total = 0;
    double secondsLeft = -1;
};

struct VideoResult {
    bool ok = false;
    bool cancelled = false;
    QString error;     // the cause, in words for the user, when not ok and not cancelled
    int pictures = 0;  // the entries in the video
    int leftOut = 0;   // the entries that could not be read
};

// Writes the video. Each picture is read once at the video's size by the program's own
// readers, composed onto black, converted once; a picture held still is the same frame sent
// again. The file is written under a temporary name in the target's folder and renamed over
// the target at the end; cancelling or any failure removes it. `progress` is called on the
// calling thread, before each entry; `cancel` is read between frames. Memory stays within a
// few frames, whatever the length.
VideoResult ExportVideo(const VideoOptions& options, const std::atomic<bool>& cancel,
                        const std::function<void(const VideoProgress&)>& progress = {});

// The frames a picture is held for, and those its fade in lasts (none without a fade), at 30
// frames a second: the fade as the show's, half a second or half the interval when shorter.
int FramesPerPicture(int seconds);
int FadeFrames(int seconds);

// How libx264 is set: its preset, quality and the options that suit a picture held still for
// many frames; and the threads it is given. For whoever makes the same video another way.
struct VideoEncoderSettings {
    const char* preset;
    const char* crf;
    const char* x264Params;
    int threads;
};
VideoEncoderSettings EncoderSettings();

}  // namespace forms
