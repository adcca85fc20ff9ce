// Reads the open dialog's preview of a QVT file on a worker thread, so that browsing a folder of
// large or slow files never blocks the dialog. One file is read at a time; a request made
// meanwhile replaces any request still waiting, and the dialog keeps only the result for the
// file under its cursor.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class PreviewLoader {
public:
    struct Result {
        QString path;
        bool headRead = false; // false: not a QVT file that can be read
        int levels = 0;
        bool regionSupport = false;
        QImage picture; // the coarsest level fitted into the frame; null when not decoded
    };
    // Called on the worker thread.
    using Ready = std::function<void(Result result)>;

    PreviewLoader(QSize frame, Ready ready);
    // Waits for the file being read (its coarsest level is small: see kPreviewPixelLimit).
    ~PreviewLoader();
    PreviewLoader(const PreviewLoader&) = delete;
    PreviewLoader& operator=(const PreviewLoader&) = delete;

    void Request(const QString& path);

private:
    void Run();
    Result Load(const QString& path) const;

    const QSize frame_;
    const Ready ready_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<QString> pending_;
    bool quit_ = false;
    std::thread thread_; // last: it starts once everything above exists
};
