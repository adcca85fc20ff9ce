// The module's side: hands out the Qt image functions.
#include "qt_image_module.h"

#include "qt_image_file.h"

extern "C" const QtImageFunctions* PictorQtImageFunctions() {
    static const QtImageFunctions functions{ReadQtImageFile, CanWriteQtImage, WriteQtImageFile};
    return &functions;
}
