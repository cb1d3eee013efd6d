#include "link/Trace.h"

#include <cstdarg>
#include <cstdio>

Q_LOGGING_CATEGORY(lcPixlaneTrace, "pixlane.trace", QtWarningMsg)

void PixTrace(const char* format, ...) {
    if (!lcPixlaneTrace().isDebugEnabled())
        return;
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    qCDebug(lcPixlaneTrace).noquote() << QString::fromUtf8(line).trimmed();
}
