// The screen's ICC profile as colour managers on X11 publish it: the _ICC_PROFILE property of the
// root window. Other platforms have none here, and the screen is taken as sRGB.
#pragma once

#include <QAbstractNativeEventFilter>

#include <cstdint>
#include <functional>
#include <vector>

// The property's bytes; empty when none is set or the program does not run on X11.
std::vector<std::uint8_t> ReadX11ScreenProfile();

// Calls `changed` with the new bytes whenever a colour manager sets or removes the property
// while the program runs. Does nothing off X11.
class X11ScreenProfileWatch : public QAbstractNativeEventFilter {
public:
    explicit X11ScreenProfileWatch(std::function<void(std::vector<std::uint8_t>)> changed);
    ~X11ScreenProfileWatch() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<void(std::vector<std::uint8_t>)> changed_;
    std::uint32_t atom_ = 0;
    std::uint32_t root_ = 0;
};
