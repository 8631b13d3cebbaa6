#include "SweepIdentity.h"

#include "Convert.h"
#include "SweepCsv.h"

std::string Sweep_Identity(const SweepBase& base, const SweepPoints& points, bool datStyle) {
    return Sweep_Id(Sweep_Model_Text(base), Sweep_Settings_Text(base, points, datStyle),
                    points.Total());
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
    for (const SweepAxis& a : points.Axes())
        s += ";vary=" + a.parameter.name + "=" + Format_Digits17(a.from) + ":" +
             Format_Digits17(a.to) + ":" + std::to_string(a.count);
    if (points.Seeds())
        s += ";seeds=" + std::to_string(points.Seeds()->from) + ":" +
             std::to_string(points.Seeds()->to);
    return s;
}
