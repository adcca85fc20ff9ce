#include "psnr_pairing.h"

void PSNRPairing::Arm(CMyDoc& document, ViewId view) { first_ = First{&document, view}; }

bool PSNRPairing::Activated(CMyDoc* document, ViewId view) {
    if (!first_ || view == first_->view) return false;
    const First first = *first_;
    first_.reset();
    if (!document || !first.document->HasImage() || !document->HasImage()) return false;
    pair_ = {first.document, document};
    return true;
}

void PSNRPairing::Forget(const CMyDoc& document) {
    if (first_ && first_->document == &document) first_.reset();
    if (pair_ && (pair_->first == &document || pair_->second == &document)) pair_.reset();
}

std::optional<PSNRPairing::Outcome> PSNRPairing::CompareNow() {
    if (!pair_) return std::nullopt;
    const auto [first, second] = *pair_;
    pair_.reset();
    const PSNRComparison comparison = ComparePSNR(*first->SharedImage(), *second->SharedImage());
    return Outcome{comparison.text,
                   comparison.compatible ? MessageIcon::Information : MessageIcon::Exclamation};
}
