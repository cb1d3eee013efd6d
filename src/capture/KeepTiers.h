#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How many pictures stay as they age: the rules of --keep and of the window's "Bilder
// behalten", and the one decision they make over a camera's pictures. Nothing here looks
// at a file: pictures (their times and cameras) go in, what stays and what goes, each
// with the rule that decided it, comes out.

// Up to m_nAgeSeconds of age, every picture (m_nEverySeconds 0) or the first good one of
// each slot of m_nEverySeconds. Slots are counted from 1970-01-01 00:00 UTC, so a slot
// never moves: the first picture of an hour is the first of its day as well, when it is
// the day's first.
struct CKeepTier {
    int64_t m_nAgeSeconds = 0;
    int64_t m_nEverySeconds = 0;
    std::string m_sText;  // as written: "90d:1h"
};

struct CKeepRules {
    std::vector<CKeepTier> m_tiers;  // youngest first; empty: every picture is kept
    // Written as tiers ("7d:all,90d:1h"): each camera's newest picture stays, however old.
    // A duration alone keeps its meaning: whatever is older goes.
    bool m_bTiered = false;
    std::string m_sText;  // as written

    bool Active() const { return !m_tiers.empty(); }
    // The age past which nothing but a camera's newest picture stays.
    int64_t LastAge() const { return m_tiers.empty() ? 0 : m_tiers.back().m_nAgeSeconds; }
};

// What the values may be, for the texts that refuse one (German).
inline constexpr const char* kKeepRuleValues =
    "eine Dauer wie 12h, 30d oder 365d bis 3650 Tage, oder Stufen wie 7d:all,90d:1h,2y:1d "
    "(bis zu jedem Alter alle Bilder oder das erste je Stunde, Tag, ...; jede Stufe älter "
    "als die vorige und ihr Abstand ein Vielfaches des vorigen)";

// Reads a --keep value: a duration alone (12h, 30d; a plain number is minutes) or tiers
// AGE:all|EVERY separated by commas (s, m, h, d, w and y = 365d), each older than the one
// before and its slot a whole multiple of the one before, up to 3650 days. Empty when
// the text is good; else why not (German).
std::string ParseKeepRules(const std::string& text, CKeepRules& rules);

// One picture as the decision sees it.
struct CAgedPicture {
    int64_t m_nTime = 0;     // seconds since 1970
    uint32_t m_nCamera = 0;  // which camera took it (any number that tells them apart)
};

// What was decided for one picture. m_iRule: for a picture that goes, the tier whose slot
// had kept an earlier one (0..), or the number of tiers when it is older than the last.
struct CKeepVerdict {
    bool m_bKeep = true;
    int m_iRule = -1;
};

// The decision over all pictures, one verdict each in the same order, as of now. In any
// order; two of one camera at the same second count in the order given.
std::vector<CKeepVerdict> DecideKeep(const std::vector<CAgedPicture>& pictures,
                                     const CKeepRules& rules, int64_t now);

// Why a picture went, for its journal line (German); pastLast names the rule of a
// duration alone.
std::string KeepReasonText(const CKeepRules& rules, const CKeepVerdict& verdict,
                           const std::string& pastLast);

// A --keep value as a target stores it: the age past which pictures go, and the text of
// the tiers when it gives some (empty for a duration alone). False when it is none.
bool KeepValue(const std::string& text, int64_t& seconds, std::string& tiers);
