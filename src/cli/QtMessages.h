#pragma once

#include <QtGlobal>

// While it lives, the messages Qt writes on its own (warnings of its classes, such as a
// missing runtime folder) stay off standard error, where the user reads the program's
// German texts one a line. The program's trace category ("pixlane.trace") and fatal
// messages still go where they went before.
class CQtMessageFilter {
  public:
    CQtMessageFilter();
    ~CQtMessageFilter();
    CQtMessageFilter(const CQtMessageFilter&) = delete;
    CQtMessageFilter& operator=(const CQtMessageFilter&) = delete;

  private:
    QtMessageHandler m_pPrevious;
};
