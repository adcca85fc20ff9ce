#include "qt_color_profile.h"

#include <QColorSpace>

#include <cstring>
#include <mutex>

namespace {

thread_local bool watching = false;
thread_local bool refused = false;
QtMessageHandler previousHandler = nullptr;

void Handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (watching && context.category && std::strcmp(context.category, "qt.gui.icc") == 0) {
        refused = true;
        return;
    }
    if (previousHandler) previousHandler(type, context, message);
}

} // namespace

RefusedProfileWatch::RefusedProfileWatch() {
    static std::once_flag installed;
    std::call_once(installed, [] { previousHandler = qInstallMessageHandler(Handler); });
    watching = true;
    refused = false;
}

RefusedProfileWatch::~RefusedProfileWatch() { watching = false; }

bool RefusedProfileWatch::Refused() const { return refused; }

void KeepQImageProfile(const QImage& read, bool refusedByQt, RasterImage& image) {
    const QColorSpace space = read.colorSpace();
    const QByteArray bytes = space.isValid() ? space.iccProfile() : QByteArray();
    if (bytes.isEmpty()) {
        image.profileDropped = refusedByQt;
        return;
    }
    try {
        image.profile = IccProfile::FromBytes(
            std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                      static_cast<std::size_t>(bytes.size())));
    } catch (const ProfileError&) {
        image.profileDropped = true;
    }
}

void AttachProfileForWriting(const RasterImage& image, QImage& written) {
    if (!image.profile || !ProfileFitsMode(image.profile->Space(), image.Mode())) return;
    const std::vector<std::uint8_t>& bytes = image.profile->Bytes();
    const QColorSpace space = QColorSpace::fromIccProfile(QByteArray::fromRawData(
        reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())));
    // Qt keeps a copy of the bytes it was made from and writes those.
    if (space.isValid()) written.setColorSpace(space);
}
