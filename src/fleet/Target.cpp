#include "fleet/Target.h"

#include "fleet/SiteBook.h"

namespace {

bool IsPortNumber(int port) {
    return port >= 1 && port <= 9;
}

CLineAddress LineAddressOf(const CStoredSettings& stored, const CSite* site,
                           const CTargetOptions& o) {
    const bool siteNumber = site != nullptr && site->m_iCom != 0;
    int port = o.m_iCom ? *o.m_iCom : siteNumber ? site->m_iCom : stored.m_iCom;
    if (!o.m_sDemoDevice.empty()) {
        // There is no other module than the demo's: it stands behind whichever number.
        if (!IsPortNumber(port))
            port = 1;
        return CLineAddress::PortOn(port, o.m_sDemoDevice);
    }
    if (!o.m_sDevice.empty())
        return CLineAddress::Device(o.m_sDevice);
    if (!o.m_iCom && !siteNumber && site != nullptr && !site->m_sDevice.empty())
        return CLineAddress::Device(site->m_sDevice);
    return CLineAddress::Port(
        port, IsPortNumber(port) ? stored.m_portDevices[static_cast<size_t>(port)] : std::string());
}

// Whether the modem dials, and whether the stored link says so for want of another word.
void LinkOf(const CStoredSettings& stored, const CSite* site, const CTargetOptions& o, CTarget& t) {
    t.m_bLinkStored = false;
    const bool demo = !o.m_sDemoDevice.empty();
    if ((o.m_bModem && *o.m_bModem) || (demo && o.m_bDemoModem))
        t.m_line.m_bModem = true;
    else if (o.m_bModem || demo)
        t.m_line.m_bModem = false;
    else if (site != nullptr && site->m_eLink != ESiteLink::kStored)
        t.m_line.m_bModem = site->m_eLink == ESiteLink::kModem;
    else if (site != nullptr && !site->m_sNumber.empty())
        t.m_line.m_bModem = true;
    else {
        t.m_line.m_bModem = stored.m_iLokal == 0;
        t.m_bLinkStored = true;
    }
}

CTargetStorage StorageOf(const CStoredSettings& stored, const CSite* site,
                         const CTargetOptions& o) {
    CTargetStorage s = stored.m_storage;
    if (site != nullptr) {
        s.m_sFolder = site->CaptureFolder();
        s.m_sJournal = site->CaptureJournal(o.m_sFolder.value_or(std::string()));
        if (!site->m_sPattern.empty()) {
            s.m_sPattern = site->m_sPattern;
            s.m_bInsideFolder = false;
        }
    }
    if (o.m_sFolder)
        s.m_sFolder = *o.m_sFolder;
    if (o.m_sPattern) {
        s.m_sPattern = *o.m_sPattern;
        s.m_bInsideFolder = false;
    }
    if (o.m_sJournal)
        s.m_sJournal = *o.m_sJournal;
    if (!o.m_sLatest.empty())
        s.m_sLatest = o.m_sLatest;
    if (o.m_nKeepSeconds > 0) {
        s.m_nKeepSeconds = o.m_nKeepSeconds;
        s.m_sKeepTiers = o.m_sKeepTiers;
    }
    if (o.m_nMinFreeBytes > 0)
        s.m_nMinFreeBytes = o.m_nMinFreeBytes;
    return s;
}

}  // namespace

CTarget ResolveTarget(const CStoredSettings& stored, const CSite* site, const CTargetOptions& o) {
    CTarget t;
    if (site != nullptr)
        t.m_sSite = site->m_sName;
    CTargetLine& line = t.m_line;
    line.m_address = LineAddressOf(stored, site, o);
    line.m_iBaudrate = o.m_iBaudrate                               ? *o.m_iBaudrate
                       : site != nullptr && site->m_iBaudrate != 0 ? site->m_iBaudrate
                                                                   : stored.m_iBaudrate;
    line.m_nRtsControl =
        o.m_bHandshake ? (*o.m_bHandshake ? 2 : 0) : static_cast<uint8_t>(stored.sHandshake);
    line.m_sNumber = o.m_sNumber                                   ? *o.m_sNumber
                     : site != nullptr && !site->m_sNumber.empty() ? site->m_sNumber
                                                                   : stored.m_sTel_nr;
    LinkOf(stored, site, o, t);
    t.m_request = stored.m_request;
    if (site != nullptr)
        t.m_request = ChangedRequest(t.m_request, site->m_picture);
    t.m_request = ChangedRequest(t.m_request, o.m_picture);
    t.m_channels = !o.m_channels.empty() ? o.m_channels
                   : site != nullptr && !site->m_channels.empty()
                       ? site->m_channels
                       : std::vector<int>{stored.m_iKanal};
    t.m_storage = StorageOf(stored, site, o);
    for (const CCheckChanges* changes : {site != nullptr ? &site->m_check : nullptr, &o.m_check}) {
        if (changes == nullptr)
            continue;
        if (changes->m_nDarkBelow)
            t.m_limits.m_dDarkMean = *changes->m_nDarkBelow;
        if (changes->m_nUniformBelow)
            t.m_limits.m_dUniformSpread = *changes->m_nUniformBelow;
        if (changes->m_nFrozenAfter)
            t.m_limits.m_nFrozenCount = *changes->m_nFrozenAfter;
        if (changes->m_window)
            t.m_window = *changes->m_window;
    }
    return t;
}
