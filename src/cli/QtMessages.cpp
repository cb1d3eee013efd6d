#include "cli/QtMessages.h"

#include <QString>
#include <cstdio>
#include <cstring>

namespace {

// Where the messages that pass go; null: Qt's own way of writing them.
QtMessageHandler s_pPassOn = nullptr;

void Filter(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const bool trace =
        context.category != nullptr && std::strcmp(context.category, "pixlane.trace") == 0;
    if (!trace && type != QtFatalMsg)
        return;
    if (s_pPassOn != nullptr) {
        s_pPassOn(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n",
                 qFormatLogMessage(type, context, message).toLocal8Bit().constData());
    std::fflush(stderr);
}

}  // namespace

CQtMessageFilter::CQtMessageFilter() : m_pPrevious(qInstallMessageHandler(Filter)) {
    // A filter inside another passes on what the outer one passes on.
    if (m_pPrevious != Filter)
        s_pPassOn = m_pPrevious;
}

CQtMessageFilter::~CQtMessageFilter() {
    qInstallMessageHandler(m_pPrevious);
}
