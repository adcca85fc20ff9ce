// The two images of a PSNR comparison. The command arms it with the view that has the focus;
// the next other view of an image document to get the focus becomes the second image, and the
// pair is compared once the focus change is over (the caller posts that step). Documents are held
// only while they exist: closing one of the pair disarms the comparison or drops the pair.
#pragma once

#include "desktop_services.h"
#include "document.h"
#include "image_compare.h"

#include <optional>

class PSNRPairing {
public:
    // Views are told apart by identity only.
    using ViewId = const void*;

    void Arm(CMyDoc& document, ViewId view);
    bool Armed() const { return first_.has_value(); }
    // A view got the focus (`document` null: it shows no image document, which cancels). True
    // when this completed the pair: the caller posts CompareNow.
    bool Activated(CMyDoc* document, ViewId view);
    void Forget(const CMyDoc& document);

    struct Outcome {
        std::string text;
        MessageIcon icon;
    };
    // Compares the pair Activated completed; nothing when none is left.
    std::optional<Outcome> CompareNow();

private:
    struct First {
        CMyDoc* document;
        ViewId view;
    };
    std::optional<First> first_;
    std::optional<std::pair<CMyDoc*, CMyDoc*>> pair_;
};
