#include "capture/KeepTiers.h"

#include <algorithm>
#include <numeric>
#include <unordered_map>

#include "capture/Units.h"

namespace {

constexpr int64_t kDaySeconds = 24 * 3600;
// More tiers than anyone writes would only make the decision slower.
constexpr size_t kMaxTiers = 16;

// A duration of a tier: what ParseDuration takes, and weeks and years (365 days).
bool TierDuration(const std::string& text, int64_t& seconds) {
    if (!text.empty() && (text.back() == 'w' || text.back() == 'y')) {
        const int64_t unit = text.back() == 'w' ? 7 * kDaySeconds : 365 * kDaySeconds;
        int64_t days = 0;
        if (!ParseDuration(text.substr(0, text.size() - 1) + "s", kMaxKeepSeconds, days) ||
            days == 0 || days > kMaxKeepSeconds / unit)
            return false;
        seconds = days * unit;
        return true;
    }
    return ParseKeepDuration(text, seconds);
}

std::vector<std::string> Split(const std::string& text, char at) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == at) {
            parts.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

// The slot a time falls in, counted from 1970 (also before it).
int64_t Slot(int64_t time, int64_t every) {
    const int64_t q = time / every;
    return (time % every != 0 && time < 0) ? q - 1 : q;
}

}  // namespace

std::string ParseKeepRules(const std::string& text, CKeepRules& rules) {
    CKeepRules parsed;
    parsed.m_sText = text;
    const auto bad = [&text](const std::string& why) { return "\"" + text + "\": " + why; };
    if (text.find_first_of(":,") == std::string::npos) {
        int64_t seconds = 0;
        if (!ParseKeepDuration(text, seconds))
            return bad("keine Dauer");
        parsed.m_tiers.push_back({seconds, 0, text});
        rules = std::move(parsed);
        return {};
    }
    parsed.m_bTiered = true;
    const std::vector<std::string> tiers = Split(text, ',');
    if (tiers.size() > kMaxTiers)
        return bad("mehr als " + std::to_string(kMaxTiers) + " Stufen");
    for (const std::string& tier : tiers) {
        const std::vector<std::string> parts = Split(tier, ':');
        CKeepTier t;
        t.m_sText = tier;
        if (parts.size() != 2 || !TierDuration(parts[0], t.m_nAgeSeconds))
            return bad("die Stufe \"" + tier + "\" ist nicht ALTER:all oder ALTER:ABSTAND");
        if (parts[1] != "all" && !TierDuration(parts[1], t.m_nEverySeconds))
            return bad("die Stufe \"" + tier + "\" nennt keinen Abstand (all, 1h, 1d, ...)");
        if (!parsed.m_tiers.empty()) {
            const CKeepTier& before = parsed.m_tiers.back();
            if (t.m_nAgeSeconds <= before.m_nAgeSeconds)
                return bad("die Stufe \"" + tier + "\" ist nicht älter als \"" + before.m_sText +
                           "\"");
            // A picture kept once must stay kept as it reaches the coarser slots.
            if (before.m_nEverySeconds != 0 &&
                (t.m_nEverySeconds == 0 || t.m_nEverySeconds % before.m_nEverySeconds != 0))
                return bad("der Abstand der Stufe \"" + tier +
                           "\" ist kein Vielfaches des Abstands von \"" + before.m_sText + "\"");
        }
        parsed.m_tiers.push_back(std::move(t));
    }
    rules = std::move(parsed);
    return {};
}

std::vector<CKeepVerdict> DecideKeep(const std::vector<CAgedPicture>& pictures,
                                     const CKeepRules& rules, int64_t now) {
    std::vector<CKeepVerdict> verdicts(pictures.size());
    if (!rules.Active())
        return verdicts;
    // Oldest first, in the order given within a second; pictures usually come so.
    std::vector<uint32_t> order;
    const auto older = [&pictures](uint32_t a, uint32_t b) {
        return pictures[a].m_nTime < pictures[b].m_nTime;
    };
    const bool sorted = std::is_sorted(
        pictures.begin(), pictures.end(),
        [](const CAgedPicture& a, const CAgedPicture& b) { return a.m_nTime < b.m_nTime; });
    if (!sorted) {
        order.resize(pictures.size());
        std::iota(order.begin(), order.end(), 0U);
        std::stable_sort(order.begin(), order.end(), older);
    }
    const auto at = [&](size_t i) { return sorted ? static_cast<uint32_t>(i) : order[i]; };

    const size_t tierCount = rules.m_tiers.size();
    struct CCameraState {
        bool m_bSeen = false;
        int64_t m_nPrevious = 0;  // the time of its picture before, kept or not
        uint32_t m_nNewest = 0;
    };
    std::unordered_map<uint32_t, CCameraState> cameras;
    for (size_t i = 0; i < pictures.size(); ++i) {
        const uint32_t index = at(i);
        const int64_t time = pictures[index].m_nTime;
        CCameraState& camera = cameras[pictures[index].m_nCamera];
        const bool first = !camera.m_bSeen;
        const int64_t previous = camera.m_nPrevious;
        camera.m_bSeen = true;
        camera.m_nPrevious = time;
        camera.m_nNewest = index;  // the last of the oldest-first walk
        const int64_t age = now - time;
        size_t tier = 0;
        while (tier < tierCount && age > rules.m_tiers[tier].m_nAgeSeconds)
            ++tier;
        CKeepVerdict& verdict = verdicts[index];
        if (tier == tierCount) {
            verdict = {false, static_cast<int>(tierCount)};
            continue;
        }
        // The first of its slot among all of the camera's pictures, also those that went
        // already or go now: a slot whose first is past the last tier keeps none, so that
        // what a run keeps does not depend on when the runs before it were.
        const int64_t every = rules.m_tiers[tier].m_nEverySeconds;
        if (every != 0 && !first && Slot(previous, every) == Slot(time, every))
            verdict = {false, static_cast<int>(tier)};
    }
    if (rules.m_bTiered)
        for (const auto& [id, camera] : cameras)
            verdicts[camera.m_nNewest] = {};
    return verdicts;
}

std::string KeepReasonText(const CKeepRules& rules, const CKeepVerdict& verdict,
                           const std::string& pastLast) {
    if (verdict.m_bKeep || verdict.m_iRule < 0 || rules.m_tiers.empty())
        return {};
    const size_t rule = static_cast<size_t>(verdict.m_iRule);
    if (rule >= rules.m_tiers.size())
        return rules.m_bTiered ? "Regel " + rules.m_tiers.back().m_sText + ": älter als " +
                                     Split(rules.m_tiers.back().m_sText, ':').front()
                               : pastLast;
    const CKeepTier& tier = rules.m_tiers[rule];
    return "Regel " + tier.m_sText + ": nicht das erste Bild seines Abschnitts von " +
           Split(tier.m_sText, ':').back();
}

bool KeepValue(const std::string& text, int64_t& seconds, std::string& tiers) {
    CKeepRules rules;
    if (!ParseKeepRules(text, rules).empty())
        return false;
    seconds = rules.LastAge();
    tiers = rules.m_bTiered ? text : std::string();
    return true;
}
