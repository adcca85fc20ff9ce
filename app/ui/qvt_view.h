// CQVTView, the view of a QVT document: it follows the levels as they arrive. A level on the way
// is repainted at once, so that every level is seen even when the next follows quickly; when the
// size laid out changes (a reduced level read on, or reading stopped there), a view that fitted
// the old size fits the new one, and any other view keeps its zoom on the same image point.
#pragma once

#include "image_view.h"

class CQVTView : public CMyView {
    Q_OBJECT

public:
    CQVTView(CMyDoc& document, CPictorApp& app, QWidget* parent = nullptr);

    void DocumentChanged(int hint) override;

private:
    void LayOutAgain(Size before);

    Size laidOut_;
};
