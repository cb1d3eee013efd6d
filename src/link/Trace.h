#pragma once

#include <QLoggingCategory>

// Diagnostic trace lines; off unless enabled with QT_LOGGING_RULES="pixlane.trace=true".
Q_DECLARE_LOGGING_CATEGORY(lcPixlaneTrace)

// printf-style trace line; costs nothing but the category check when the trace is off.
void PixTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
