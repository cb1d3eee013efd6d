#pragma once

#include <string>

#include "capture/FetchRequest.h"

class CImage;
class CLineSession;
class CPortUi;
struct CTargetLine;

// What a capture round needs of the program it runs in: the line, the dial, the fetch
// into the program's image, the stop check and where texts go. The application object
// implements it for the window and pixlane-cli; a round never reaches further.
class CRoundHost {
  public:
    virtual ~CRoundHost() = default;

    // The session of the line the round talks to.
    virtual CLineSession& Line() = 0;
    // Opens the line when it is closed; a line that went away is picked up again as every
    // command picks it up. False when it cannot be opened.
    virtual bool OpenLine(const CTargetLine& line) = 0;
    // Closes the line; the program counts its port as closed.
    virtual void CloseLine() = 0;
    // The modem's dial sequence with the number.
    virtual CDialResult Dial(const std::string& number) = 0;
    // The window's re-grab: the picture parameters of the width once per run, then the
    // channel; true when the module took the channel.
    virtual bool RegrabImage(int channel, int width) = 0;
    // One fetch of the request over the link as it is, into Image().
    virtual CFetchOutcome FetchImage(const CFetchRequest& request) = 0;
    virtual const CImage& Image() const = 0;
    // Whether the round is to end after the step under way (and its hang-up).
    virtual bool StopRequested() const = 0;
    // Where texts go now; RouteTexts sends them to ui instead (null: back to the user
    // interface) and gives the route before.
    virtual CPortUi* TextUi() const = 0;
    virtual CPortUi* RouteTexts(CPortUi* ui) = 0;
};
