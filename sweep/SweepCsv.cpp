#include "SweepCsv.h"

#include <cstdint>
#include <cstdio>

#include "Convert.h"

std::string Csv_Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

SweepCsv::SweepCsv(std::vector<std::string> names, int species, std::string sweepId, bool spectrum)
    : names_(std::move(names)),
      species_(species < 0            ? 0
               : species > MaxSpecies ? MaxSpecies
                                      : species),
      sweepId_(std::move(sweepId)),
      spectrum_(spectrum) {}

std::string SweepCsv::Header() const {
    std::string h = "point";
    for (const std::string& n : names_) h += "," + Csv_Field(n);
    h += ",seed,status,LE";
    if (spectrum_) {
        for (int i = 0; i < species_; ++i) h += ",L" + std::to_string(i);
        h += ",dimension";
    }
    h += ",steps,t,clamps";
    for (int i = 0; i < species_; ++i) h += ",x" + std::to_string(i);
    return h + ",message,sweep\r\n";
}

std::string SweepCsv::Row_Start(const SweepPoint& point) {
    std::string row = std::to_string(point.index);
    for (double v : point.values) row += "," + Format_Shortest(v);
    row += ",";
    if (point.seed) row += std::to_string(*point.seed);
    return row + ",";
}

std::string SweepCsv::Row_End() const {
    return "," + sweepId_ + "\r\n";
}

std::string SweepCsv::Row(const PointResult& r) const {
    std::string row = Row_Start(r.point) + Csv_Field(r.status);
    if (r.Ok()) {
        row += "," + Format_Shortest(r.LE);
        if (spectrum_) {
            for (int i = 0; i < species_; ++i)
                row += "," + (std::size_t(i) < r.spectrum.size()
                                  ? Format_Shortest(r.spectrum[std::size_t(i)])
                                  : std::string());
            row += "," + Format_Shortest(r.dimension);
        }
        row += "," + std::to_string(r.steps) + "," + Format_Shortest(r.t) + "," +
               std::to_string(r.clamps);
        for (int i = 0; i < species_; ++i)
            row += "," + (std::size_t(i) < r.x.size() ? Format_Shortest(r.x[std::size_t(i)]) : "");
    } else {
        // A run that failed in a step says which; one refused before its run has none.
        row += ",";
        if (spectrum_) row.append(std::size_t(species_) + 1, ',');
        row += "," + (r.steps > 0 ? std::to_string(r.steps) : std::string()) + ",,";
        row.append(std::size_t(species_), ',');
    }
    return row + "," + Csv_Field(r.message) + Row_End();
}

std::string Sweep_Digest(std::string_view model, std::string_view settings) {
    // FNV-1a over both parts, with the length of the first between them, so that no shift of
    // bytes from one part to the other gives the same digest.
    uint64_t h = 0xcbf29ce484222325ULL;
    auto mix = [&h](std::string_view bytes) {
        for (unsigned char c : bytes) {
            h ^= c;
            h *= 0x100000001b3ULL;
        }
    };
    mix(model);
    mix(std::to_string(model.size()));
    mix(settings);
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
    return hex;
}
