#include "reduced_copy_builder.h"

#include "image_drawing.h"

ReducedCopyBuilder::~ReducedCopyBuilder() { Cancel(); }

void ReducedCopyBuilder::Cancel() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
    source_ = nullptr;
    zoom_ = 0;
}

void ReducedCopyBuilder::Start(QImage source, std::shared_ptr<const void> keepAlive, double zoom,
                               Done done, std::shared_ptr<const ScreenConverter> converter) {
    Cancel();
    cancel_ = false;
    source_ = source.constBits();
    zoom_ = zoom;
    thread_ = std::thread([this, source = std::move(source), keepAlive = std::move(keepAlive), zoom,
                           done = std::move(done), converter = std::move(converter)] {
        QImage copy = BuildReducedCopy(source, zoom, &cancel_, converter.get());
        if (!cancel_ && !copy.isNull()) done(std::move(copy));
    });
}
