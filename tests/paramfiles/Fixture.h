#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "Globals.h"
#include "LvError.h"
#include "ParamFiles.h"
#include "Subs.h"

// Every global a reader may touch, to compare before and after a load.
struct GlobalState {
    SpeciesTable table;
    int16_t n;
    double totalTime, dt;
    std::array<int16_t, 101> spacePos;

    static GlobalState Now() { return {::Species, ::Nanimals, ::TotalTime, ::dt, ::SpacePos}; }
    friend bool operator==(const GlobalState& l, const GlobalState& r) {
        for (int i = 0; i < MaxSpecies; ++i) {
            const SpeciesRec &a = l.table.rows[i], &b = r.table.rows[i];
            if (a.a != b.a || a.x != b.x || a.r != b.r || a.Color != b.Color) return false;
        }
        return l.n == r.n && l.totalTime == r.totalTime && l.dt == r.dt && l.spacePos == r.spacePos;
    }
};

// A scratch directory for parameter files, and globals filled with a pattern no reader
// would produce, so that any stray write shows.
class FileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/lv-files-XXXXXX";
        dir_ = mkdtemp(tmpl);
        for (int i = 0; i < MaxSpecies; ++i) {
            SpeciesRec& s = Species.rows[i];
            for (int j = 0; j < MaxSpecies; ++j) s.a[j] = -(i * 100 + j) - 0.5;
            s.x = -1000 - i;
            s.r = -2000 - i;
            s.Color = -3000 - i;
        }
        Nanimals = -77;
        TotalTime = -55.5;
        dt = -0.25;
        for (int k = 0; k < 101; ++k) SpacePos[k] = static_cast<int16_t>(-k - 1);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string Write(const std::string& text, const std::string& name = "f.txt") {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }

    // Runs a load that must fail with `kind`; every global must be as before. Returns the
    // message for checks of its context.
    std::string Fails(void (*load)(const std::string&), const std::string& path, ErrorKind kind) {
        const GlobalState before = GlobalState::Now();
        try {
            load(path);
        } catch (const LvError& e) {
            EXPECT_EQ(Error_Kind_Text(e.kind()), std::string(Error_Kind_Text(kind))) << e.what();
            EXPECT_TRUE(GlobalState::Now() == before) << "a failed load changed the globals";
            return e.what();
        }
        ADD_FAILURE() << "load of " << path << " did not fail";
        return {};
    }

    std::string dir_;
};
