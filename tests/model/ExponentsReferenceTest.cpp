#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "AnalysesSupport.h"
#include "LyapunovExponents.h"

// The spectrum against bench/exponents_numpy.py, written apart in plain numpy: the same run
// (the trajectory is the model's to the bit), the Jacobian formed as a matrix and multiplied
// by numpy, numpy's Householder QR at the same interval and its slogdet. Only rounding
// differs (the products' and the factorisations' order): the exponents agreed to 1.5e-14 of
// their value when this was written.

namespace {

struct Case {
    Model model;
    long long steps;
    int interval;
    double discard;
    int vectors;
};

std::vector<double> numpySpectrum(const Case& c) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("lv-spectrum-" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(path);
        out.precision(17);
        const int n = c.model.Nanimals;
        out << n << ' ' << c.model.dt << ' ' << c.steps << ' ' << c.interval << ' ' << c.discard
            << ' ' << c.vectors << '\n';
        for (int k = 0; k < n; ++k) out << c.model.Species.rows[k].r << ' ';
        out << '\n';
        for (int k = 0; k < n; ++k) out << c.model.Species.rows[k].x << ' ';
        out << '\n';
        for (int k = 0; k < n; ++k) {
            for (int j = 0; j < n; ++j) out << c.model.Species.rows[k].a[j] << ' ';
            out << '\n';
        }
    }
    const std::string command =
        std::string("/usr/bin/python3 ") + LV_SPECTRUM_NUMPY + " reference " + path.string();
    std::vector<double> values;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char line[128];
        while (std::fgets(line, sizeof line, pipe)) values.push_back(std::strtod(line, nullptr));
        pclose(pipe);
    }
    std::filesystem::remove(path);
    return values;
}

TEST(SpectrumReference, AgreesWithNumpy) {
    if (std::system("/usr/bin/python3 -c 'import numpy' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "no numpy for /usr/bin/python3";
    std::vector<Case> cases{{Chaotic_Four(), 20000, 10, 20, 4}, {Chaotic_Four(), 5000, 7, 0, 2}};
    {
        // Seven species in weak random competition, their populations spread out.
        std::vector<double> r, x;
        std::vector<std::vector<double>> a(7, std::vector<double>(7));
        for (int k = 0; k < 7; ++k) {
            r.push_back(0.6 + 0.13 * k);
            x.push_back(0.1 + 0.11 * k);
            for (int j = 0; j < 7; ++j) a[k][j] = k == j ? 1 : 0.05 * ((3 * k + 5 * j) % 7);
        }
        cases.push_back({Make_Model(r, a, x, 0.02), 3000, 10, 5, 7});
    }
    for (const Case& c : cases) {
        LyapunovExponents spectrum(
            {.vectors = c.vectors, .interval = c.interval, .discard = c.discard});
        Plain_Euler_Run(c.model, c.steps, {&spectrum});
        const SpectrumResult result = spectrum.Result();
        const std::vector<double> numpy = numpySpectrum(c);
        ASSERT_EQ(numpy.size(), result.exponents.size() + 1);
        for (std::size_t i = 0; i < result.exponents.size(); ++i)
            EXPECT_NEAR(result.exponents[i], numpy[i], 1e-12 * std::fabs(numpy[i]) + 1e-15)
                << "exponent " << i << " of " << c.model.Nanimals << " species";
        if (c.vectors == c.model.Nanimals) {
            ASSERT_TRUE(result.logDetRate.has_value());
            EXPECT_NEAR(*result.logDetRate, numpy.back(), 1e-12 * std::fabs(numpy.back()));
        }
    }
}

}  // namespace
