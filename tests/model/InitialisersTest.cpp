#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "Globals.h"
#include "Initialisers.h"
#include "LvError.h"
#include "Random.h"
#include "Subs.h"

namespace {

// Plays back given draws and counts what the initialisers ask of it.
class ScriptedRandom : public RandomSource {
  public:
    explicit ScriptedRandom(std::vector<float> values) : values_(std::move(values)) {}
    void Reseed(float seconds) override {
        ++reseeds;
        seeds.push_back(seconds);
        if (draws != 0) drawsBeforeLastReseed = draws;
    }
    float Next() override { return values_[draws++ % values_.size()]; }

    int reseeds = 0;
    int draws = 0;
    int drawsBeforeLastReseed = 0;
    std::vector<float> seeds;

  private:
    std::vector<float> values_;
};

const float JustBelowOne = std::nextafter(1.0f, 0.0f);

class Initialisers : public ::testing::Test {
  protected:
    void SetUp() override { Species = SpeciesTable{}; }
    void TearDown() override { Set_Random_Source(nullptr); }
    int32_t rgb(int r, int g, int b) { return r + 256 * g + 65536 * b; }
};

TEST_F(Initialisers, ChannelsSpan105To254DrawnRedGreenBlue) {
    ScriptedRandom rnd({0.0f, JustBelowOne, 0.5f});
    Set_Random_Source(&rnd);
    Random_Colors(1);
    EXPECT_EQ(Species.rows[0].Color, rgb(105, 254, 180));
    EXPECT_EQ(rnd.reseeds, 1);
    EXPECT_EQ(rnd.draws, 3);
}

TEST_F(Initialisers, PopulationsSpanOneHundredthToJustBelowOne) {
    ScriptedRandom rnd({0.0f, JustBelowOne, 0.25f});
    Set_Random_Source(&rnd);
    Random_Populations(3);
    EXPECT_EQ(Species.rows[0].x, 0.01);
    EXPECT_LT(Species.rows[1].x, 1.0);
    EXPECT_EQ(Species.rows[1].x, double(JustBelowOne) * 0.99 + 0.01) << "u widened, then scaled";
    EXPECT_EQ(Species.rows[2].x, 0.25 * 0.99 + 0.01);
}

TEST_F(Initialisers, TouchOnlyTheirOwnFieldOfTheCountedRows) {
    for (int k = 0; k < 5; ++k) {
        Species.rows[k].x = 0.5;
        Species.rows[k].r = 2;
        Species.rows[k].a[k] = 3;
        Species.rows[k].Color = 7;
    }
    ScriptedRandom rnd({0.3f});
    Set_Random_Source(&rnd);
    Random_Colors(3);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(Species.rows[k].Color, k < 3 ? rgb(150, 150, 150) : 7) << k;
        EXPECT_EQ(Species.rows[k].x, 0.5);
        EXPECT_EQ(Species.rows[k].r, 2);
        EXPECT_EQ(Species.rows[k].a[k], 3);
    }
    Random_Populations(2);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(Species.rows[k].x, k < 2 ? 0.3f * 0.99 + 0.01 : 0.5) << k;
        EXPECT_EQ(Species.rows[k].Color, k < 3 ? rgb(150, 150, 150) : 7);
    }
}

TEST_F(Initialisers, ZeroOrNegativeCountReseedsAndDrawsNothing) {
    ScriptedRandom rnd({0.5f});
    Set_Random_Source(&rnd);
    for (int16_t n : {0, -3}) {
        Random_Colors(n);
        Random_Populations(n);
    }
    EXPECT_EQ(rnd.reseeds, 4);
    EXPECT_EQ(rnd.draws, 0);
    EXPECT_EQ(Species.rows[0].Color, 0);
    EXPECT_EQ(Species.rows[0].x, 0);
}

TEST_F(Initialisers, FiftyOneFillTheTableAndFiftyTwoFailAtRow51) {
    ScriptedRandom rnd({0.0f, 0.2f, 0.4f, 0.6f, 0.8f, JustBelowOne, 0.1f});
    Set_Random_Source(&rnd);
    Random_Colors(51);
    Random_Populations(51);
    for (const SpeciesRec& row : Species.rows) {
        EXPECT_GT(row.x, 0);
        EXPECT_NE(row.Color, 0);
    }

    Species = SpeciesTable{};
    ScriptedRandom again({0.5f});
    Set_Random_Source(&again);
    try {
        Random_Colors(52);
        ADD_FAILURE() << "52 colours accepted";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    }
    EXPECT_EQ(again.draws, 51 * 3 + 2) << "row 51 fails after two of its draws";
    for (const SpeciesRec& row : Species.rows) EXPECT_EQ(row.Color, rgb(180, 180, 180));
    try {
        Random_Populations(52);
        ADD_FAILURE() << "52 populations accepted";
    } catch (const LvError& e) {
        EXPECT_EQ(e.kind(), ErrorKind::SubscriptOutOfRange);
    }
    for (const SpeciesRec& row : Species.rows) EXPECT_EQ(row.x, 0.5 * 0.99 + 0.01);
}

TEST_F(Initialisers, ReseededFromTheTimeOfDay) {
    ScriptedRandom rnd({0.5f});
    Set_Random_Source(&rnd);
    Random_Populations(1);
    ASSERT_EQ(rnd.seeds.size(), 1u);
    EXPECT_GE(rnd.seeds[0], 0.0f);
    EXPECT_LT(rnd.seeds[0], 86401.0f);
    const float now = Timer_Seconds();
    EXPECT_LE(std::fabs(now - rnd.seeds[0]), 2.0f);
}

TEST(DefaultRandom, FixedSeedRepeatsWhateverTheClockAndNeverYieldsOne) {
    Mt19937Random seeded(42);
    seeded.Reseed(100.0f);
    std::vector<float> first;
    for (int i = 0; i < 1000; ++i) first.push_back(seeded.Next());
    seeded.Reseed(5000.0f);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(seeded.Next(), first[i]);

    Mt19937Random clock;
    clock.Reseed(1.0f);
    const float a = clock.Next();
    clock.Reseed(2.0f);
    EXPECT_NE(clock.Next(), a) << "different timer readings start different sequences";

    float lo = 1, hi = 0;
    for (int i = 0; i < 2000000; ++i) {
        const float u = seeded.Next();
        ASSERT_GE(u, 0.0f);
        ASSERT_LT(u, 1.0f);
        lo = std::min(lo, u);
        hi = std::max(hi, u);
    }
    EXPECT_LT(lo, 1e-4f);
    EXPECT_GT(hi, 0.9999f);
}

}  // namespace
