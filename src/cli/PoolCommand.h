#pragma once

#include <ostream>
#include <vector>

#include "fleet/Target.h"

struct CCliOptions;
struct CSite;
class CClock;
class CConsoleUi;

// pixlane-cli capture --sites ... --lines ...: the sites' rounds on all the lines at once.
// Each round runs in a pixlane-cli process of its own, started with the arguments of this
// one and the site and line it is to use; its exit status tells how the line fared (see
// kPoolLineFailed). SIGINT and SIGTERM are passed on to every round under way, which hang
// up and journal themselves as stopped. targets[i] is sites[i]'s. The exit status: 0 when
// every round of the last pass kept all its pictures, 1 when one did not, or when sites
// were left that no line could serve.
int RunPool(const CCliOptions& options, const std::vector<const CSite*>& sites,
            const std::vector<CTarget>& targets, const CStoredSettings& stored, CClock& clock,
            CConsoleUi& ui);

// Whether the site has a line of its own (a device, a port number, or a cable): its rounds
// run only there, whatever lines the pool has.
bool HasOwnLine(const CSite& site);
// For a pool's round of the site: the pool's line it was given, dialled, in place of the
// stored one; nothing for a site with a line of its own.
void PoolRoundLine(const CCliOptions& options, const CSite& site, CTargetOptions& target);
