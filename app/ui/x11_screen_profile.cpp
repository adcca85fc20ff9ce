#include "x11_screen_profile.h"

#include "icc_profile.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

xcb_connection_t* Connection() {
    const auto* x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t RootWindow(xcb_connection_t* connection) {
    return xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
}

// The property's atom. Unless `create` is set, XCB_ATOM_NONE when no client ever named it (so no
// profile was ever set).
xcb_atom_t ProfileAtom(xcb_connection_t* connection, bool create) {
    constexpr char kName[] = "_ICC_PROFILE";
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection,
                              xcb_intern_atom(connection, create ? 0 : 1, sizeof kName - 1, kName),
                              nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

std::vector<std::uint8_t> ReadProperty(xcb_connection_t* connection, xcb_window_t root,
                                       xcb_atom_t atom) {
    if (atom == XCB_ATOM_NONE) return {};
    // Lengths are in 32-bit units; a profile larger than the colour library takes is not read.
    const auto longest = static_cast<std::uint32_t>(IccProfile::kMaxBytes / 4 + 1);
    const std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> reply(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, atom, XCB_ATOM_ANY, 0, longest),
            nullptr),
        &std::free);
    if (!reply || reply->format != 8) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(reply.get()));
    return {bytes, bytes + xcb_get_property_value_length(reply.get())};
}

} // namespace

std::vector<std::uint8_t> ReadX11ScreenProfile() {
    xcb_connection_t* connection = Connection();
    if (!connection) return {};
    return ReadProperty(connection, RootWindow(connection), ProfileAtom(connection, false));
}

X11ScreenProfileWatch::X11ScreenProfileWatch(std::function<void(std::vector<std::uint8_t>)> changed)
    : changed_(std::move(changed)) {
    xcb_connection_t* connection = Connection();
    if (!connection) return;
    root_ = RootWindow(connection);
    // Named now even when no profile is set yet, so that a later one is recognised.
    atom_ = ProfileAtom(connection, true);
    if (atom_ == XCB_ATOM_NONE) return;
    // Qt's own mask on the root window already includes property changes; it is kept and
    // extended, never replaced.
    const std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&std::free)> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, root_),
                                        nullptr),
        &std::free);
    const std::uint32_t mask =
        (attributes ? attributes->your_event_mask : 0) | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, root_, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11ScreenProfileWatch::~X11ScreenProfileWatch() {
    if (atom_ != 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11ScreenProfileWatch::nativeEventFilter(const QByteArray& eventType, void* message,
                                              qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(message);
    if (notify->window == root_ && notify->atom == atom_)
        changed_(ReadProperty(Connection(), root_, atom_));
    return false;
}
