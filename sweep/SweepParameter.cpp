#include "SweepParameter.h"

#include <algorithm>
#include <charconv>

#include "LvError.h"

namespace {

[[noreturn]] void refuse(const std::string& name, const std::string& why) {
    throw SweepOptionError{"--vary " + Quote_For_Message(name, 60) + ": " + why};
}

// A row or column number 0..50 at `at`, digits only; moves `at` past it.
int index(const std::string& name, std::size_t& at) {
    const char* begin = name.data() + at;
    const char* end = name.data() + name.size();
    int value = -1;
    const auto [stop, ec] = std::from_chars(begin, end, value);
    if (ec != std::errc() || stop == begin || *begin == '-' || *begin == '+')
        refuse(name, "an index is a whole number from 0");
    if (value >= MaxSpecies) refuse(name, "an index is at most " + std::to_string(MaxSpecies - 1));
    at = std::size_t(stop - name.data());
    return value;
}

void expect(const std::string& name, std::size_t& at, char c) {
    if (at >= name.size() || name[at] != c)
        refuse(name, "expected r(k), x(k), a(i,j), dt or TotalTime");
    ++at;
}

}  // namespace

SweepParameter SweepParameter::Parse(const std::string& name) {
    SweepParameter p;
    p.name = name;
    if (name == "dt") {
        p.kind = Kind::TimeStep;
        return p;
    }
    if (name == "TotalTime") {
        p.kind = Kind::RunTime;
        return p;
    }
    std::size_t at = 0;
    if (name.rfind("r(", 0) == 0) {
        p.kind = Kind::Rate;
    } else if (name.rfind("x(", 0) == 0) {
        p.kind = Kind::Population;
    } else if (name.rfind("a(", 0) == 0) {
        p.kind = Kind::Matrix;
    } else {
        refuse(name, "expected r(k), x(k), a(i,j), dt or TotalTime");
    }
    at = 2;
    p.i = index(name, at);
    if (p.kind == Kind::Matrix) {
        expect(name, at, ',');
        p.j = index(name, at);
    }
    expect(name, at, ')');
    if (at != name.size()) refuse(name, "expected r(k), x(k), a(i,j), dt or TotalTime");
    // One name for one value, however its indices were written ("r(01)" is "r(1)"), so that
    // the headers and the identities of the same sweep agree.
    p.name = std::string(1, name[0]) + "(" + std::to_string(p.i) +
             (p.kind == Kind::Matrix ? "," + std::to_string(p.j) : std::string()) + ")";
    return p;
}

void SweepParameter::Check_Rows(int n) const {
    if (Is_Run_Setting()) return;
    const int highest = kind == Kind::Matrix ? std::max(i, j) : i;
    if (highest < n) return;
    throw SweepOptionError{"--vary " + name + ": " +
                           (n > 0 ? "the file's rows are 0 to " + std::to_string(n - 1)
                                  : std::string("the file holds no species"))};
}

void SweepParameter::Set(Model& model, double value) const {
    switch (kind) {
        case Kind::Rate:
            model.Species(i).r = value;
            break;
        case Kind::Population:
            model.Species(i).x = value;
            break;
        case Kind::Matrix:
            model.Species(i).a[std::size_t(j)] = value;
            break;
        case Kind::TimeStep:
            model.dt = value;
            break;
        case Kind::RunTime:
            model.TotalTime = value;
            break;
    }
}
