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

SweepCsv::SweepCsv(std::vector<std::string> names, int species, std::string sweepId)
    : names_(std::move(names)),
      species_(species < 0            ? 0
               : species > MaxSpecies ? MaxSpecies
                                      : species),
      sweepId_(std::move(sweepId)) {}

std::string SweepCsv::Header() const {
    std::string h = "point";
    for (const std::string& n : names_) h += "," + Csv_Field(n);
    h += ",seed,status,LE,steps,t";
    for (int i = 0; i < species_; ++i) h += ",x" + std::to_string(i);
    return h + ",message,sweep\r\n";
}

std::string SweepCsv::Row(const PointResult& r) const {
    std::string row = std::to_string(r.point.index);
    for (double v : r.point.values) row += "," + Format_Digits17(v);
    row += ",";
    if (r.point.seed) row += std::to_string(*r.point.seed);
    row += "," + Csv_Field(r.status);
    if (r.Ok()) {
        row += "," + Format_Digits17(r.LE) + "," + std::to_string(r.steps) + "," +
               Format_Digits17(r.t);
        for (int i = 0; i < species_; ++i)
            row += "," + (std::size_t(i) < r.x.size() ? Format_Digits17(r.x[std::size_t(i)]) : "");
    } else {
        row += ",,,";
        row.append(std::size_t(species_), ',');
    }
    row += "," + Csv_Field(r.message) + "," + sweepId_ + "\r\n";
    return row;
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
