// The pool's schedule in virtual time: which site goes on which line, when.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "fleet/LinePool.h"

namespace {

struct CRan {
    int m_iSite, m_iLine;
    int64_t m_nStart, m_nEnd, m_nLag;
};

// Runs the pool until it is over or the time is up; each round takes its site's time,
// and ends as end() says (kDone unless told).
std::vector<CRan> Simulate(CLinePool& pool, int64_t until, const std::map<int, int64_t>& takes,
                           int64_t defaultTake,
                           const std::function<EPoolEnd(const CPoolStart&, int64_t)>& end = {}) {
    std::vector<CRan> ran;
    std::vector<std::pair<CPoolStart, int64_t>> running;  // and when it ends
    for (int64_t now = 0; now <= until; ++now) {
        for (size_t i = 0; i < running.size();) {
            if (running[i].second != now) {
                ++i;
                continue;
            }
            const CPoolStart s = running[i].first;
            pool.Finished(s, end ? end(s, now) : EPoolEnd::kDone, now);
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
        }
        while (const std::optional<CPoolStart> s = pool.Next(now)) {
            const auto take = takes.find(s->m_iSite);
            const int64_t d = take != takes.end() ? take->second : defaultTake;
            running.emplace_back(*s, now + d);
            ran.push_back({s->m_iSite, s->m_iLine, now, now + d, s->m_nLag});
        }
        if (running.empty() && pool.Over())
            break;
    }
    return ran;
}

TEST(LinePool, ThreeLinesSevenSitesEachOnceNeverTwiceAtOnce) {
    CLinePool pool(0, 0, 1000);
    for (int l = 0; l < 3; ++l)
        pool.AddLine("/dev/l" + std::to_string(l), true);
    for (int s = 0; s < 7; ++s)
        pool.AddSite("s" + std::to_string(s), -1, 0);
    const std::vector<CRan> ran = Simulate(pool, 1000, {{1, 30}, {4, 5}}, 10);
    ASSERT_EQ(ran.size(), 7u);
    std::set<int> sites;
    for (const CRan& r : ran)
        sites.insert(r.m_iSite);
    EXPECT_EQ(sites.size(), 7u);
    // No line carries two rounds at once, and every line was used.
    std::set<int> lines;
    for (const CRan& a : ran) {
        lines.insert(a.m_iLine);
        for (const CRan& b : ran)
            if (&a != &b && a.m_iLine == b.m_iLine) {
                EXPECT_TRUE(a.m_nEnd <= b.m_nStart || b.m_nEnd <= a.m_nStart);
            }
    }
    EXPECT_EQ(lines.size(), 3u);
    // A free line takes the next site at once: the last round starts when the third
    // line frees up (10, 10+5 on the line of site 4...), not after all of them.
    EXPECT_LE(ran.back().m_nStart, 20);
    EXPECT_TRUE(pool.Over());
    EXPECT_TRUE(pool.Stranded().empty());
}

TEST(LinePool, ASiteWithItsOwnLineRunsThereAndNoOtherSiteDoes) {
    CLinePool pool(0, 0, 1000);
    pool.AddLine("modem1", true);
    const int own = pool.AddLine("/dev/cable", false);
    pool.AddSite("dialled1", -1, 0);
    pool.AddSite("cabled", own, 0);
    pool.AddSite("dialled2", -1, 0);
    const std::vector<CRan> ran = Simulate(pool, 1000, {}, 10);
    ASSERT_EQ(ran.size(), 3u);
    for (const CRan& r : ran)
        EXPECT_EQ(r.m_iLine == own, r.m_iSite == 1) << r.m_iSite;
}

TEST(LinePool, AFailedLineLeavesThePoolAndItsSiteGoesToAnotherAtOnce) {
    CLinePool pool(0, 0, 1000);
    pool.AddLine("bad", true);
    pool.AddLine("good", true);
    for (int s = 0; s < 4; ++s)
        pool.AddSite("s" + std::to_string(s), -1, 0);
    const std::vector<CRan> ran =
        Simulate(pool, 1000, {{0, 1}}, 10, [](const CPoolStart& s, int64_t) {
            return s.m_iLine == 0 ? EPoolEnd::kLineFailed : EPoolEnd::kDone;
        });
    // Site 0 met the bad line, then went on the good one as soon as that was free, and
    // before the sites behind it (it was due first); the bad line carried nothing more.
    ASSERT_EQ(ran.size(), 5u);
    EXPECT_EQ(ran[0].m_iSite, 0);
    EXPECT_EQ(ran[0].m_iLine, 0);
    EXPECT_EQ(ran[2].m_iSite, 0);
    EXPECT_EQ(ran[2].m_iLine, 1);
    EXPECT_EQ(ran[2].m_nStart, 10);
    for (size_t i = 1; i < ran.size(); ++i)
        EXPECT_EQ(ran[i].m_iLine, 1);
    EXPECT_TRUE(pool.Lines()[0].m_bOut);
    EXPECT_FALSE(pool.AllLinesOut());
}

TEST(LinePool, EveryLineGoneStrandsTheSitesAndEndsTheRun) {
    CLinePool pool(0, 0, 1000);
    pool.AddLine("a", true);
    pool.AddLine("b", true);
    pool.AddSite("s0", -1, 0);
    pool.AddSite("s1", -1, 0);
    pool.AddSite("s2", -1, 0);
    Simulate(pool, 1000, {}, 10, [](const CPoolStart&, int64_t) { return EPoolEnd::kLineFailed; });
    EXPECT_TRUE(pool.AllLinesOut());
    EXPECT_TRUE(pool.Over());
    EXPECT_EQ(pool.Stranded().size(), 3u);
}

TEST(LinePool, WithAPeriodFailedLinesComeBackAtTheNextRound) {
    CLinePool pool(100, 100, 1000);
    pool.AddLine("a", true);
    pool.AddSite("s0", -1, 0);
    int failures = 0;
    const std::vector<CRan> ran =
        Simulate(pool, 250, {}, 10, [&failures](const CPoolStart&, int64_t) {
            return failures++ == 0 ? EPoolEnd::kLineFailed : EPoolEnd::kDone;
        });
    // Out at 10, back at 110: the site, due since 0, runs then, and again a period later.
    ASSERT_EQ(ran.size(), 3u);
    EXPECT_EQ(ran[1].m_nStart, 110);
    EXPECT_EQ(ran[1].m_nLag, 110);
    EXPECT_EQ(ran[2].m_nStart, 210);
    EXPECT_FALSE(pool.Over());
}

TEST(LinePool, AHeldLineIsSkippedAndTriedAgainLater) {
    CLinePool pool(0, 0, 50);
    pool.AddLine("held", true);
    pool.AddLine("free", true);
    for (int s = 0; s < 5; ++s)
        pool.AddSite("s" + std::to_string(s), -1, 0);
    bool heldOnce = false;
    const std::vector<CRan> ran =
        Simulate(pool, 1000, {}, 40, [&heldOnce](const CPoolStart& s, int64_t) {
            if (s.m_iLine == 0 && !heldOnce) {
                heldOnce = true;
                return EPoolEnd::kLineHeld;
            }
            return EPoolEnd::kDone;
        });
    // Held at 40 (the round "took" 40): its site goes on the free line at once, and the
    // held line, looked at again at 90, takes the next site then.
    ASSERT_EQ(ran.size(), 6u);
    EXPECT_EQ(ran[2].m_iSite, 0);
    EXPECT_EQ(ran[2].m_iLine, 1);
    EXPECT_EQ(ran[2].m_nStart, 40);
    const auto onHeld = std::count_if(
        ran.begin(), ran.end(), [](const CRan& r) { return r.m_iLine == 0 && r.m_nStart > 0; });
    EXPECT_EQ(onHeld, 1);
    EXPECT_EQ(ran[4].m_iLine, 0);
    EXPECT_EQ(ran[4].m_nStart, 90);
    EXPECT_FALSE(pool.Lines()[0].m_bOut);
}

TEST(LinePool, MoreSitesThanTheLinesServeRunOldestDueFirstAndTheLagIsKept) {
    // Two lines, five sites every 100 ms, each round 60 ms: 5 x 60 = 300 ms of rounds a
    // period, 200 ms of lines. Nothing may be dropped: every site keeps coming round, the
    // longest due first, late.
    CLinePool pool(100, 100, 1000);
    pool.AddLine("a", true);
    pool.AddLine("b", true);
    for (int s = 0; s < 5; ++s)
        pool.AddSite("s" + std::to_string(s), -1, s);
    const std::vector<CRan> ran = Simulate(pool, 2000, {}, 60);
    std::map<int, int> rounds;
    for (const CRan& r : ran)
        ++rounds[r.m_iSite];
    ASSERT_EQ(rounds.size(), 5u);
    int least = 1000, most = 0;
    for (const auto& [site, n] : rounds) {
        least = std::min(least, n);
        most = std::max(most, n);
    }
    EXPECT_LE(most - least, 1);
    // Each start took the site that had been due longest of those waiting then.
    std::map<int, int64_t> due;
    for (int s = 0; s < 5; ++s)
        due[s] = s;
    for (const CRan& r : ran) {
        for (const auto& [site, when] : due) {
            const bool waiting =
                when <= r.m_nStart &&
                std::none_of(ran.begin(), ran.end(), [&, s = site](const CRan& o) {
                    return o.m_iSite == s && o.m_nStart <= r.m_nStart && o.m_nEnd > r.m_nStart;
                });
            if (waiting && site != r.m_iSite) {
                EXPECT_GE(when, due[r.m_iSite]) << "site " << r.m_iSite << " at " << r.m_nStart;
            }
        }
        EXPECT_EQ(r.m_nLag, r.m_nStart - due[r.m_iSite]);
        due[r.m_iSite] = r.m_nStart + 100;
    }
    // Each site comes round every 150 ms, not every 100: the lag is there and kept.
    EXPECT_LT(ran.size(), 5u * 20u);
    const auto late =
        std::count_if(ran.begin(), ran.end(), [](const CRan& r) { return r.m_nLag > 0; });
    EXPECT_GT(late, static_cast<std::ptrdiff_t>(ran.size() / 2));
    EXPECT_EQ(pool.Sites()[static_cast<size_t>(ran.back().m_iSite)].m_nLastLag, ran.back().m_nLag);
}

TEST(LinePool, ACountEndsEachSiteAfterItsRounds) {
    CLinePool pool(100, 100, 1000, 2);
    pool.AddLine("a", true);
    pool.AddSite("s0", -1, 0);
    pool.AddSite("s1", -1, 0);
    const std::vector<CRan> ran = Simulate(pool, 10000, {}, 10);
    EXPECT_EQ(ran.size(), 4u);
    EXPECT_TRUE(pool.Over());
}

}  // namespace
