#include "converters/VipsSupport.h"

#include <mutex>

namespace pivana {

void ensureVipsStarted() {
    static std::once_flag started;
    std::call_once(started, [] { VIPS_INIT("pivana"); });
}

QString takeVipsError() {
    const QString text = QString::fromUtf8(vips_error_buffer()).trimmed();
    vips_error_clear();
    return text.section(u'\n', 0, 0);
}

}  // namespace pivana
