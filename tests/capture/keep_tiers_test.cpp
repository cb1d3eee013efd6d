// What stays as pictures age: the rules as written, and the decision over 400 days of
// pictures at five minutes, checked slot by slot against what the rules promise.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "capture/KeepTiers.h"

namespace {

constexpr int64_t kMinute = 60;
constexpr int64_t kHour = 3600;
constexpr int64_t kDay = 24 * kHour;
// A Wednesday noon in December 2026, UTC.
constexpr int64_t kNow = 1796990400;

TEST(KeepRulesTest, ValuesAsWritten) {
    struct CCase {
        const char* m_pText;
        bool m_bGood;
        bool m_bTiered;
        int64_t m_nLastAge;
    };
    const CCase cases[] = {
        {"30d", true, false, 30 * kDay},
        {"90", true, false, 90 * kMinute},
        {"7d:all,90d:1h,2y:1d", true, true, 730 * kDay},
        {"1w:all,4w:15m,1y:1w", true, true, 365 * kDay},
        {"7d:all", true, true, 7 * kDay},
        {"90d:1h,7d:all", false, false, 0},         // not older than the tier before
        {"7d:all,90d:1h,2y:90m", false, false, 0},  // a day is no multiple of 90 minutes
        {"7d:1h,90d:all", false, false, 0},         // all after a slot would keep more again
        {"7d:all,,2y:1d", false, false, 0},
        {"7d", true, false, 7 * kDay},
        {"7d:", false, false, 0},
        {"7d:alle", false, false, 0},
        {"0d:all", false, false, 0},
        {"11y:1d", false, false, 0},  // longer than ten years
        {"7x", false, false, 0},
        {"", false, false, 0},
    };
    for (const CCase& c : cases) {
        CKeepRules rules;
        const std::string problem = ParseKeepRules(c.m_pText, rules);
        EXPECT_EQ(problem.empty(), c.m_bGood) << c.m_pText << ": " << problem;
        if (!c.m_bGood) {
            EXPECT_NE(problem.find(c.m_pText), std::string::npos) << problem;
            continue;
        }
        EXPECT_EQ(rules.m_bTiered, c.m_bTiered) << c.m_pText;
        EXPECT_EQ(rules.LastAge(), c.m_nLastAge) << c.m_pText;
    }
}

// Pictures of three cameras: two every five minutes over 400 days (one down for three
// days in between, one taking a picture twice in the same second now and then), and one
// that stopped 500 days ago.
std::vector<CAgedPicture> Pictures() {
    std::vector<CAgedPicture> pictures;
    for (int64_t t = kNow - 400 * kDay; t <= kNow - 2 * kMinute; t += 5 * kMinute) {
        pictures.push_back({t, 1});
        const bool down = t > kNow - 50 * kDay && t < kNow - 47 * kDay;
        if (!down)
            pictures.push_back({t + 7, 2});
        if (t % (7 * kHour) == 0)
            pictures.push_back({t + 7, 2});
    }
    for (int64_t t = kNow - 520 * kDay; t <= kNow - 500 * kDay; t += kHour)
        pictures.push_back({t, 3});
    return pictures;
}

CKeepRules Rules(const std::string& text) {
    CKeepRules rules;
    EXPECT_EQ(ParseKeepRules(text, rules), "");
    return rules;
}

std::vector<CAgedPicture> Survivors(const std::vector<CAgedPicture>& pictures,
                                    const std::vector<CKeepVerdict>& verdicts) {
    std::vector<CAgedPicture> kept;
    for (size_t i = 0; i < pictures.size(); ++i)
        if (verdicts[i].m_bKeep)
            kept.push_back(pictures[i]);
    return kept;
}

int64_t SlotOf(int64_t time, int64_t every) {
    return time >= 0 ? time / every : (time - every + 1) / every;
}

TEST(KeepDecisionTest, OneKeptInEverySlotOfEveryTierAndNothingPastTheLast) {
    const std::vector<CAgedPicture> pictures = Pictures();
    for (const char* text : {"7d:all,90d:1h,2y:1d", "7d:all,90d:1h,365d:1d", "2d:all,30d:15m,1y:1w",
                             "60d:all", "3d:6h,200d:1d"}) {
        SCOPED_TRACE(text);
        const CKeepRules rules = Rules(text);
        const std::vector<CKeepVerdict> verdicts = DecideKeep(pictures, rules, kNow);
        ASSERT_EQ(verdicts.size(), pictures.size());

        std::map<uint32_t, int64_t> newest;
        // By camera, slot length and slot: its first picture, whatever its age.
        std::map<std::tuple<uint32_t, int64_t, int64_t>, int64_t> firsts;
        for (const CAgedPicture& p : pictures) {
            newest[p.m_nCamera] = std::max(newest[p.m_nCamera], p.m_nTime);
            for (const CKeepTier& tier : rules.m_tiers)
                if (tier.m_nEverySeconds != 0)
                    firsts.emplace(std::tuple(p.m_nCamera, tier.m_nEverySeconds,
                                              SlotOf(p.m_nTime, tier.m_nEverySeconds)),
                                   p.m_nTime);
        }
        // By camera, tier and slot: how many of its pictures there are, and how many stay.
        std::map<std::tuple<uint32_t, size_t, int64_t>, std::pair<int, int>> slots;
        size_t kept = 0, removed = 0;
        for (size_t i = 0; i < pictures.size(); ++i) {
            const CAgedPicture& p = pictures[i];
            const CKeepVerdict& v = verdicts[i];
            (v.m_bKeep ? kept : removed)++;
            const int64_t age = kNow - p.m_nTime;
            size_t tier = 0;
            while (tier < rules.m_tiers.size() && age > rules.m_tiers[tier].m_nAgeSeconds)
                ++tier;
            const bool isNewest = p.m_nTime == newest[p.m_nCamera];
            if (isNewest) {
                EXPECT_TRUE(v.m_bKeep) << "the newest picture of camera " << p.m_nCamera;
                continue;
            }
            if (tier == rules.m_tiers.size()) {
                EXPECT_FALSE(v.m_bKeep) << "kept past the last tier: " << p.m_nTime;
                EXPECT_EQ(v.m_iRule, static_cast<int>(tier));
                continue;
            }
            const int64_t every = rules.m_tiers[tier].m_nEverySeconds;
            if (every == 0) {
                EXPECT_TRUE(v.m_bKeep) << "removed within a tier of all: " << p.m_nTime;
                continue;
            }
            const int64_t slotStart = firsts.at({p.m_nCamera, every, SlotOf(p.m_nTime, every)});
            // A slot that began past the last tier keeps nothing: its first went.
            if (kNow - slotStart > rules.LastAge()) {
                EXPECT_FALSE(v.m_bKeep) << "kept in a slot whose first went: " << p.m_nTime;
                continue;
            }
            auto& slot = slots[{p.m_nCamera, tier, SlotOf(p.m_nTime, every)}];
            ++slot.first;
            if (v.m_bKeep)
                ++slot.second;
            else
                EXPECT_EQ(v.m_iRule, static_cast<int>(tier));
            // The kept one is the first of its slot.
            EXPECT_EQ(v.m_bKeep, p.m_nTime == slotStart && slot.first == 1) << p.m_nTime;
        }
        for (const auto& [key, count] : slots)
            EXPECT_EQ(count.second, 1) << "camera " << std::get<0>(key) << " tier "
                                       << std::get<1>(key) << " slot " << std::get<2>(key);
        EXPECT_EQ(kept + removed, pictures.size());
        EXPECT_GT(removed, 0U);

        // A second run over what stayed removes nothing more.
        const std::vector<CAgedPicture> survivors = Survivors(pictures, verdicts);
        const std::vector<CKeepVerdict> again = DecideKeep(survivors, rules, kNow);
        EXPECT_TRUE(std::all_of(again.begin(), again.end(),
                                [](const CKeepVerdict& v) { return v.m_bKeep; }));

        // Pictures once kept stay kept as they age: running daily for 40 days keeps
        // exactly what one run at the end keeps of all pictures.
        std::vector<CAgedPicture> daily = survivors;
        for (int day = 1; day <= 40; ++day)
            daily = Survivors(daily, DecideKeep(daily, rules, kNow + day * kDay));
        const std::vector<CAgedPicture> once =
            Survivors(pictures, DecideKeep(pictures, rules, kNow + 40 * kDay));
        ASSERT_EQ(daily.size(), once.size());
        for (size_t i = 0; i < once.size(); ++i)
            EXPECT_EQ(daily[i].m_nTime, once[i].m_nTime) << i;
    }
}

TEST(KeepDecisionTest, TheOrderGivenDoesNotChangeTheDecision) {
    const std::vector<CAgedPicture> pictures = Pictures();
    const CKeepRules rules = Rules("7d:all,90d:1h,365d:1d");
    const std::vector<CKeepVerdict> inOrder = DecideKeep(pictures, rules, kNow);
    std::vector<size_t> order(pictures.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    std::vector<CAgedPicture> shuffled;
    for (size_t i : order)
        shuffled.push_back(pictures[i]);
    const std::vector<CKeepVerdict> mixed = DecideKeep(shuffled, rules, kNow);
    // Two pictures of a camera in one second: which of them stays may differ, how many not.
    std::map<std::pair<uint32_t, int64_t>, int> keptInOrder, keptMixed;
    for (size_t i = 0; i < pictures.size(); ++i) {
        keptInOrder[{pictures[i].m_nCamera, pictures[i].m_nTime}] += inOrder[i].m_bKeep;
        keptMixed[{shuffled[i].m_nCamera, shuffled[i].m_nTime}] += mixed[i].m_bKeep;
    }
    EXPECT_EQ(keptInOrder, keptMixed);
}

TEST(KeepDecisionTest, ADurationAloneRemovesEverythingOlderAndSaysSo) {
    const std::vector<CAgedPicture> pictures = {
        {kNow - 40 * kDay, 1}, {kNow - 31 * kDay, 1}, {kNow - 29 * kDay, 2}, {kNow - 35 * kDay, 3}};
    const CKeepRules rules = Rules("30d");
    const std::vector<CKeepVerdict> v = DecideKeep(pictures, rules, kNow);
    EXPECT_FALSE(v[0].m_bKeep);
    EXPECT_FALSE(v[1].m_bKeep);
    EXPECT_TRUE(v[2].m_bKeep);
    // Not tiers: a camera's newest goes as well, as it always did.
    EXPECT_FALSE(v[3].m_bKeep);
    EXPECT_EQ(KeepReasonText(rules, v[0], "älter als --keep"), "älter als --keep");

    const CKeepRules tiers = Rules("7d:all,30d:1d");
    const std::vector<CKeepVerdict> t = DecideKeep(pictures, tiers, kNow);
    EXPECT_FALSE(t[0].m_bKeep);
    EXPECT_TRUE(t[1].m_bKeep);  // camera 1's newest
    EXPECT_TRUE(t[3].m_bKeep);  // camera 3's newest
    EXPECT_EQ(KeepReasonText(tiers, t[0], "älter als --keep"), "Regel 30d:1d: älter als 30d");
    const std::vector<CAgedPicture> twoInADay = {
        {kNow - 20 * kDay, 1}, {kNow - 20 * kDay + 60, 1}, {kNow, 1}};
    const std::vector<CKeepVerdict> d = DecideKeep(twoInADay, tiers, kNow);
    EXPECT_FALSE(d[1].m_bKeep);
    EXPECT_EQ(KeepReasonText(tiers, d[1], ""),
              "Regel 30d:1d: nicht das erste Bild seines Abschnitts von 1d");
}

}  // namespace
