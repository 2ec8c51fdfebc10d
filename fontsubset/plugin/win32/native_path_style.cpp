#include "plugin/shrink_document.h"

namespace glypter {

PathStyle nativePathStyle() { return PathStyle::Windows; }

}  // namespace glypter
