#include "SweepIdentity.h"

#include "Convert.h"
#include "LvError.h"
#include "SweepCsv.h"

std::string Sweep_Identity(const SweepBase& base, const SweepPoints& points, bool datStyle) {
    return Sweep_Column(
        Sweep_Digest(Sweep_Model_Text(base), Sweep_Settings_Text(base, points, datStyle)), points);
}

std::string Sweep_Model_Text(const SweepBase& base) {
    const Model& m = base.model;
    std::string s = "N=" + std::to_string(m.Nanimals) + ";dt=" + Format_Digits17(m.dt);
    for (int k = 0; k < m.Nanimals; ++k) {
        const SpeciesRec& row = m.Species.rows[k];
        s += ";x=" + Format_Digits17(row.x) + ",r=" + Format_Digits17(row.r) + ",a=";
        for (int j = 0; j < m.Nanimals; ++j) s += Format_Digits17(row.a[j]) + " ";
    }
    return s;
}

std::string Sweep_Settings_Text(const SweepBase& base, const SweepPoints& points, bool datStyle) {
    std::string s = std::string("style=") + (datStyle ? "dat" : "p");
    s += ";TotalTime=" + Format_Digits17(base.model.TotalTime);
    s += ";steps=" + (base.steps ? std::to_string(*base.steps) : std::string("-"));
    s += ";window-time=" + std::to_string(base.windowTime);
    for (const SweepAxis& a : points.Axes()) s += ";vary=" + a.Definition();
    if (points.Seeds())
        s += ";seeds=" + std::to_string(points.Seeds()->from) + ":" +
             std::to_string(points.Seeds()->to);
    // The analyses change what a point reports.
    const SweepAnalyses& a = base.analyses;
    if (a.spectrum) s += ";spectrum";
    if (a.tangent) s += ";method=tangent";
    if (a.discard > 0) s += ";discard=" + Format_Digits17(a.discard);
    if (a.maxima) s += ";maxima=" + std::to_string(*a.maxima);
    return s;
}

namespace {

std::string definitionText(const SweepPoints& points) {
    std::string s;
    for (const SweepAxis& a : points.Axes()) {
        if (!s.empty()) s += ';';
        // Commas (of a(i,j) and of a list) as '/', so that the column needs no quotes.
        std::string item = a.Definition();
        for (char& c : item)
            if (c == ',') c = '/';
        s += item;
    }
    if (const std::optional<SweepSeeds>& seeds = points.Seeds()) {
        if (!s.empty()) s += ';';
        s += "seeds=" + std::to_string(seeds->from) + ":" + std::to_string(seeds->to);
    }
    return s;
}

[[noreturn]] void refuse(const std::string& why) {
    throw SweepOptionError{why};
}

// The axes and seeds of a definition, each item read as its option reads it.
SweepPoints parseDefinition(const std::string& text) {
    std::vector<SweepAxis> axes;
    std::optional<SweepSeeds> seeds;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find(';', at);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(at, end - at);
        at = end + 1;
        if (seeds) refuse("the seeds come last");
        if (item.rfind("seeds=", 0) == 0) {
            seeds = SweepSeeds::Parse(item.substr(6));
            continue;
        }
        for (char& c : item)
            if (c == '/') c = ',';
        axes.push_back(SweepAxis::Parse(item));
    }
    return SweepPoints(std::move(axes), seeds, SweepShard{});
}

}  // namespace

std::string Sweep_Column(std::string_view digest, const SweepPoints& points) {
    return std::string(digest) + ":" + std::to_string(points.Total()) + ":" +
           definitionText(points);
}

SweepColumn Parse_Sweep_Column(const std::string& text) {
    const std::size_t c1 = text.find(':');
    const std::size_t c2 = c1 == std::string::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string::npos)
        refuse("expected DIGEST:POINTS:DEFINITION (an older lv-sweep wrote no definition)");
    const std::string digest = text.substr(0, c1);
    if (digest.size() != 16 || digest.find_first_not_of("0123456789abcdef") != std::string::npos)
        refuse("the digest is not 16 hexadecimal digits");
    SweepColumn column{digest, parseDefinition(text.substr(c2 + 1))};
    // The count follows from the definition; any other text for the same sweep would compare
    // unequal to the column of its other shards, so only the writer's own is taken.
    if (Sweep_Column(digest, column.points) != text)
        refuse("not as lv-sweep writes it (it writes " +
               Quote_For_Message(Sweep_Column(digest, column.points), 100) + " for that sweep)");
    return column;
}
